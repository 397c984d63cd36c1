#include "tests/serial/wait_for_either.h"

#include <windows.h>

namespace dedarida::test {

bool WaitForEither(int first, int second) {
    const HANDLE both[2] = {LongToHandle(first), LongToHandle(second)};
    return WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0;
}

} // namespace dedarida::test
