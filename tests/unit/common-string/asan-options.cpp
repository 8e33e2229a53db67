// Under AddressSanitizer a refused allocation must come back as null, as it
// does from the real heap, instead of ending the test program.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}
