# The third-party libraries of the Windows build, made by tools/windows/build-deps.sh: static
# libcurl on Schannel, static libcrypto, GoogleTest and the cpp-httplib header. The targets carry
# the names the Linux build gets from find_package, so the rest of the build is the same.
if(NOT QUORVANE_WINDOWS_DEPS OR NOT EXISTS "${QUORVANE_WINDOWS_DEPS}/lib/libcurl.a")
    message(FATAL_ERROR "Set QUORVANE_WINDOWS_DEPS to the folder tools/windows/build-deps.sh printed")
endif()
set(deps "${QUORVANE_WINDOWS_DEPS}")

add_library(CURL::libcurl STATIC IMPORTED)
set_target_properties(CURL::libcurl PROPERTIES
    IMPORTED_LOCATION "${deps}/lib/libcurl.a"
    INTERFACE_INCLUDE_DIRECTORIES "${deps}/include"
    INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
    INTERFACE_LINK_LIBRARIES "bcrypt;secur32;crypt32;ws2_32;advapi32")

add_library(OpenSSL::Crypto STATIC IMPORTED)
set_target_properties(OpenSSL::Crypto PROPERTIES
    IMPORTED_LOCATION "${deps}/lib/libcrypto.a"
    INTERFACE_INCLUDE_DIRECTORIES "${deps}/include"
    INTERFACE_LINK_LIBRARIES "bcrypt;crypt32;ws2_32;advapi32;user32")

# pkg-config answers from the dependency folder only, never with the machine's Linux libraries.
set(ENV{PKG_CONFIG_LIBDIR} "${deps}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
find_package(PkgConfig REQUIRED)
set(GTest_DIR "${deps}/lib/cmake/GTest")
unset(deps)
