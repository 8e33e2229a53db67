# Reading security descriptors back needs the advapi32 functions the runtime never calls.
target_link_libraries(test-win-dir PRIVATE advapi32)
