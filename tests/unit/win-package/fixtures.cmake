# The package resources the tests look up: linked into the test program
# itself (the module the installer searches), and three small DLLs beside it with a
# short, an empty and no manifest, which the tests load as data files.
set(_pkgfix_dir ${CMAKE_CURRENT_BINARY_DIR}/win-package-fixtures)
set(_pkgfix_objs)
foreach(_m main short empty none)
    list(APPEND _pkgfix_objs ${_pkgfix_dir}/${_m}.o)
endforeach()
add_custom_command(OUTPUT ${_pkgfix_objs}
    COMMAND ${Python3_EXECUTABLE} ${dir}/make-fixture-res.py ${_pkgfix_dir}
    COMMAND ${CMAKE_RC_COMPILER} --target=pe-i386 -J res -O coff -i ${_pkgfix_dir}/main.res -o ${_pkgfix_dir}/main.o
    COMMAND ${CMAKE_RC_COMPILER} --target=pe-i386 -J res -O coff -i ${_pkgfix_dir}/short.res -o ${_pkgfix_dir}/short.o
    COMMAND ${CMAKE_RC_COMPILER} --target=pe-i386 -J res -O coff -i ${_pkgfix_dir}/empty.res -o ${_pkgfix_dir}/empty.o
    COMMAND ${CMAKE_RC_COMPILER} --target=pe-i386 -J res -O coff -i ${_pkgfix_dir}/none.res -o ${_pkgfix_dir}/none.o
    DEPENDS ${dir}/make-fixture-res.py
    COMMENT "Making the package-resource fixtures")
set_source_files_properties(${_pkgfix_objs} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
target_sources(test-${name} PRIVATE ${_pkgfix_dir}/main.o)
file(WRITE ${_pkgfix_dir}/empty.c.in "/* resources only */\n")
configure_file(${_pkgfix_dir}/empty.c.in ${_pkgfix_dir}/empty.c COPYONLY)
foreach(_m short empty none)
    add_library(pkgfix-${_m} SHARED ${_pkgfix_dir}/empty.c ${_pkgfix_dir}/${_m}.o)
    set_target_properties(pkgfix-${_m} PROPERTIES OUTPUT_NAME pkgfix-${_m} PREFIX ""
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    target_link_options(pkgfix-${_m} PRIVATE -static)
    add_dependencies(test-${name} pkgfix-${_m})
endforeach()
