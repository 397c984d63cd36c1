# Settings for every target of the Windows build.

# Windows 8 and later: CancelIoEx and the wide registry calls.
add_compile_definitions(_WIN32_WINNT=0x0602 WIN32_LEAN_AND_MEAN NOMINMAX
    # localtime_r and the other thread-safe POSIX calls of the C library.
    _POSIX_THREAD_SAFE_FUNCTIONS)
