# Read by ctest before any test is listed: gtest's test discovery already starts the
# programs under Wine, which sends real multicast, so nothing of the Windows build
# runs outside the network namespace scripts/test-windows prepared for it.
file(READ_SYMLINK /proc/self/ns/net current_netns)
if(NOT DEFINED ENV{KAVRO_WINE_NETNS} OR NOT "$ENV{KAVRO_WINE_NETNS}" STREQUAL current_netns)
  message(FATAL_ERROR "The Windows tests run Wine: start them with scripts/test-windows, "
                      "which runs them inside a network namespace of their own.")
endif()
