# Tests of a cross build run through CMAKE_CROSSCOMPILING_EMULATOR (Wine). Starting Wine once a
# test case would take minutes, so each test program is one test that runs all of its cases. Its
# output is unbuffered and names every case as it starts, so a time-out shows where it hung.
function(gtest_discover_tests target)
    cmake_parse_arguments(PARSE_ARGV 1 discover "NO_PRETTY_VALUES;NO_PRETTY_TYPES"
        "DISCOVERY_MODE;DISCOVERY_TIMEOUT;TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY" "PROPERTIES")
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/unbuffered_output.cpp)
    add_test(NAME ${target} COMMAND ${target})
    # A whole program's cases take under two minutes alone, four under Wine on a loaded machine.
    set(timeout 900)
    set(properties ${discover_PROPERTIES})
    list(FIND properties TIMEOUT at)
    if(NOT at EQUAL -1)
        list(REMOVE_AT properties ${at})  # TIMEOUT, then its value
        list(REMOVE_AT properties ${at})
    endif()
    set_tests_properties(${target} PROPERTIES TIMEOUT ${timeout} ${properties})
endfunction()

# The programs (not the test programs, which may hold the addresses to compare with) must hold
# the list addresses only in protected form; the second test shows the check finds a plain one.
set(address_check ${PROJECT_SOURCE_DIR}/tools/windows/check-no-plain-addresses.sh)
set(addresses ${CMAKE_BINARY_DIR}/src/app/list_sources.txt)
add_test(NAME no_plain_list_addresses_in_programs
    COMMAND bash -c "exec '${address_check}' '${addresses}' $(find '${CMAKE_BINARY_DIR}' \
        -name '*.exe' ! -name '*_tests.exe' ! -path '*/host-tools/*' ! -path '*/wine/*' | sort)")
add_test(NAME plain_list_address_check_finds_one
    COMMAND bash -c "f=$(mktemp) && head -1 '${addresses}' | iconv -t UTF-16LE >$f && \
        '${address_check}' '${addresses}' $f; status=$?; rm -f $f; exit $status")
set_tests_properties(plain_list_address_check_finds_one PROPERTIES WILL_FAIL ON)
