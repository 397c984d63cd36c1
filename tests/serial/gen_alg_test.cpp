#include "serial/gen_alg.h"

#include <gtest/gtest.h>

using namespace dedarida;

TEST(TStack, PopsLastInFirstOutAndRefusesWhenEmpty) {
    int a = 1;
    int b = 2;
    TStack<int> stack;
    EXPECT_TRUE(stack.IsEmpty());
    stack.Push(&a);
    stack.Push(&b);
    EXPECT_EQ(stack.Pop(), &b);
    EXPECT_EQ(stack.Pop(), &a);
    EXPECT_TRUE(stack.IsEmpty());
    try {
        stack.Pop();
        FAIL();
    } catch (const EGenericAlg& e) {
        EXPECT_STREQ(e.what(), "Stack is empty");
    }
}
