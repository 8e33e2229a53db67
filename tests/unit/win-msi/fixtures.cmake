# The installer's engine and certificate units are compiled into the test
# program itself; the certificate bytes come from the stub's build.
target_include_directories(test-${name} PRIVATE ${CMAKE_SOURCE_DIR}/Installer/win/Stub
    ${CMAKE_BINARY_DIR}/Installer/win/Stub)
add_dependencies(test-${name} MorvStub-cert)
