# Installation and the Debian package: the programs in bin, the udev rule that gives the
# logged-in user access to the boxes, the desktop entry and its icon. `cmake --install`
# puts them under the prefix; `cpack` in the build folder makes the .deb (prefix /usr).

include(GNUInstallDirs)

set(IOX_PACKAGED_PROGRAMS "")
foreach(program iox-controller iox-demo)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        list(APPEND IOX_PACKAGED_PROGRAMS ${program})
    endif()
endforeach()
if(TARGET ioxctl)
    install(TARGETS ioxctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    list(APPEND IOX_PACKAGED_PROGRAMS ioxctl)
endif()

# udev reads lib/udev/rules.d under /usr and /usr/local; the number puts the rule before
# the seat rules that turn the uaccess tag into an access list for the session's user.
set(IOX_UDEV_RULES_DIR lib/udev/rules.d)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/70-iox.rules DESTINATION ${IOX_UDEV_RULES_DIR})
if(TARGET iox-controller)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/iox-controller.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/iox-controller.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# ---- Debian package ----------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME iox-controller)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "iox-controller maintainers <iox-controller@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control and test panel for USB To I/O boxes")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary is the description's first line; this is its body.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "iox-controller switches the relays and output lines of USB To I/O boxes,
sets their ports as inputs or outputs, shows every line and relay as the box
reports it, sends serial words and pulses, and updates the boxes' firmware.
iox-demo runs the same panel over simulated boxes; ioxctl does the same from
scripts. A udev rule lets the user logged in at the seat open the boxes
without root.")
# Debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies from the libraries the programs link, as Debian names them; without
# dpkg-shlibdeps, the same packages by hand.
find_program(IOX_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(IOX_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libqt6widgets6, libqt6gui6, libqt6core6, libhidapi-hidraw0, libc6, libstdc++6")
endif()
include(CPack)

# ---- package test --------------------------------------------------------------------------
# Packs the programs already built (no rebuild) into a temporary folder and checks the
# .deb's contents and fields. The install script stands in for CPack's own install step,
# which would first build every target of the tree.
find_program(IOX_DPKG_DEB dpkg-deb)
if(IOX_BUILD_TESTS AND IOX_DPKG_DEB AND TARGET iox-controller)
    file(WRITE ${CMAKE_BINARY_DIR}/packaging/install-built.cmake
        "set(CMAKE_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})\n"
        "set(CMAKE_INSTALL_DO_STRIP ON)\n"  # as CPACK_STRIP_FILES does
        "include(${CMAKE_BINARY_DIR}/cmake_install.cmake)\n")
    list(JOIN IOX_PACKAGED_PROGRAMS " " iox_programs_text)
    add_test(NAME package_contents
        COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check-deb ${CMAKE_BINARY_DIR} "${iox_programs_text}")
    set_tests_properties(package_contents PROPERTIES LABELS package TIMEOUT 120)
endif()
