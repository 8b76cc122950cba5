# A cross build cannot run its own protect-address, so the tool is built for this machine from the
# same sources, in a host build of its own. Sets protect_address_tool and protect_address_target.
include(ExternalProject)
set(host_build ${CMAKE_BINARY_DIR}/host-tools)
set(protect_address_tool ${host_build}/tools/protect-address/protect-address)
# The Windows window's test runs the program against the demo server, built for this machine too.
set(host_demo_server_target quorvane-demo-server)
set_property(GLOBAL PROPERTY QUORVANE_HOST_DEMO_SERVER
    ${host_build}/tools/demo-server/quorvane-demo-server)
# The mixed swarm's Linux players are quorvane-fetch, built for this machine (with libtorrent).
set_property(GLOBAL PROPERTY QUORVANE_HOST_FETCH ${host_build}/tools/fetch/quorvane-fetch)
set(host_options -DQUORVANE_BUILD_UI=OFF -DQUORVANE_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release)
if(CMAKE_CXX_COMPILER_LAUNCHER)
    list(APPEND host_options -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
endif()
ExternalProject_Add(host_protect_address
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${host_build}
    CMAKE_ARGS ${host_options}
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${host_build} --target protect-address
        ${host_demo_server_target} quorvane-fetch
    BUILD_BYPRODUCTS ${protect_address_tool} ${host_build}/tools/demo-server/quorvane-demo-server
        ${host_build}/tools/fetch/quorvane-fetch
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    STEP_TARGETS build)
set(protect_address_target host_protect_address ${protect_address_tool})
