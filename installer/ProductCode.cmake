# The package's product code for a version: the same in every build of that
# version, another one for every other version (why: see the .wxs). Included
# by installer/CMakeLists.txt; as a script it prints the code of any version,
# for whatever builds a package outside the build (the upgrade test builds the
# next version's package with it):
#
#   cmake -D VERSION=1.0.5.0 -P installer/ProductCode.cmake
#
# The namespace is arbitrary but must never change, or the same version would
# become another product.
function(mirrowcast_product_code version out)
    string(UUID code NAMESPACE 6F1E5B0C-31A4-4C8E-9D0B-6D1C6A2E7F45
           NAME "Velmorathis Desktop Mirrowcast ${version}" TYPE SHA1 UPPER)
    set(${out} ${code} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    if(NOT VERSION)
        message(FATAL_ERROR "usage: cmake -D VERSION=<a.b.c.d> -P ProductCode.cmake")
    endif()
    mirrowcast_product_code("${VERSION}" code)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${code}")
endif()
