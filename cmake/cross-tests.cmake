# Tests of a cross build run through CMAKE_CROSSCOMPILING_EMULATOR (Wine). Starting Wine once a
# test case would take minutes, so each test program is one test that runs all of its cases.
function(gtest_discover_tests target)
    cmake_parse_arguments(PARSE_ARGV 1 discover "NO_PRETTY_VALUES;NO_PRETTY_TYPES"
        "DISCOVERY_MODE;DISCOVERY_TIMEOUT;TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY" "PROPERTIES")
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
    set(timeout 600)
    set(properties ${discover_PROPERTIES})
    list(FIND properties TIMEOUT at)
    if(NOT at EQUAL -1)
        list(REMOVE_AT properties ${at})  # TIMEOUT, then its value
        list(REMOVE_AT properties ${at})
    endif()
    set_tests_properties(${target} PROPERTIES TIMEOUT ${timeout} ${properties})
endfunction()

# The program files must hold the list addresses only in protected form. The protection tests
# compare with the plain addresses on purpose and are left out.
add_test(NAME no_plain_list_addresses_in_programs
    COMMAND bash -c "exec '${PROJECT_SOURCE_DIR}/tools/windows/check-no-plain-addresses.sh' \
'${CMAKE_BINARY_DIR}/src/app/list_sources.txt' \
$(find '${CMAKE_BINARY_DIR}' -name '*.exe' ! -name 'quorvane_protection_tests.exe' ! -path '*/host-tools/*' ! -path '*/wine/*' | sort)")
