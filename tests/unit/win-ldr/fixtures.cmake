# Planted look-alikes of msi.dll and version.dll for the planting test; the
# test finds them in <build>/tests/planted-dlls/.
foreach(plant msi version)
    add_library(planted-${plant} SHARED ${dir}/planted-dll.c)
    set_target_properties(planted-${plant} PROPERTIES OUTPUT_NAME ${plant} PREFIX ""
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/planted-dlls)
    target_link_options(planted-${plant} PRIVATE -static -Wl,--kill-at)
    add_dependencies(test-${name} planted-${plant})
endforeach()
# Wine prefers its builtin DLLs; only native-first order lets a planted copy
# load at all, which the test's naive control must show.
set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "WINEDLLOVERRIDES=msi,version=n,b")
