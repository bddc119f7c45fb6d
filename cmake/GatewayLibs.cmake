# The gateway libraries: libminiupnpc (UPnP IGD) and libnatpmp (NAT-PMP). Debian's
# packages on Linux; for Windows our static cross-build (scripts/build-gateway-libs-mingw),
# which the toolchain file puts on the search path.
if(WIN32)
  set(gateway_libs_hint "run scripts/build-gateway-libs-mingw")
else()
  set(gateway_libs_hint "apt-get install libminiupnpc-dev libnatpmp-dev")
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(MINIUPNPC QUIET IMPORTED_TARGET miniupnpc)
  endif()
endif()

add_library(kavro_miniupnpc INTERFACE)
if(MINIUPNPC_FOUND)
  target_link_libraries(kavro_miniupnpc INTERFACE PkgConfig::MINIUPNPC)
else()
  find_path(MINIUPNPC_INCLUDE_DIR miniupnpc/miniupnpc.h)
  find_library(MINIUPNPC_LIBRARY miniupnpc)
  if(NOT MINIUPNPC_INCLUDE_DIR OR NOT MINIUPNPC_LIBRARY)
    message(FATAL_ERROR "libminiupnpc not found: ${gateway_libs_hint}")
  endif()
  target_include_directories(kavro_miniupnpc SYSTEM INTERFACE ${MINIUPNPC_INCLUDE_DIR})
  target_link_libraries(kavro_miniupnpc INTERFACE ${MINIUPNPC_LIBRARY})
endif()

# Debian ships no pkg-config file for libnatpmp.
find_path(NATPMP_INCLUDE_DIR natpmp.h)
find_library(NATPMP_LIBRARY natpmp)
if(NOT NATPMP_INCLUDE_DIR OR NOT NATPMP_LIBRARY)
  message(FATAL_ERROR "libnatpmp not found: ${gateway_libs_hint}")
endif()
add_library(kavro_natpmp INTERFACE)
target_include_directories(kavro_natpmp SYSTEM INTERFACE ${NATPMP_INCLUDE_DIR})
target_link_libraries(kavro_natpmp INTERFACE ${NATPMP_LIBRARY})

if(WIN32)
  # Linked statically, so without the import markings; both use Winsock and iphlpapi.
  target_compile_definitions(kavro_miniupnpc INTERFACE MINIUPNP_STATICLIB)
  target_compile_definitions(kavro_natpmp INTERFACE NATPMP_STATICLIB)
  target_link_libraries(kavro_miniupnpc INTERFACE ws2_32 iphlpapi)
  target_link_libraries(kavro_natpmp INTERFACE ws2_32 iphlpapi)
endif()
