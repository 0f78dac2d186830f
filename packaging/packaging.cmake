# Installation and the Debian package: the programs in bin with their man pages, the udev
# rule that gives the logged-in user and the group iox access to the boxes, the desktop entry
# with its icons and AppStream metainfo, ioxctl's shell completion, the licence, changelog and
# sample image. `cmake --install` puts them under the prefix; `cpack` in the build folder
# makes the .deb (prefix /usr); scripts/package builds it with Debian's hardening flags.

include(GNUInstallDirs)

set(IOX_PACKAGED_PROGRAMS "")
foreach(program iox-controller iox-demo ioxctl ioxd)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        list(APPEND IOX_PACKAGED_PROGRAMS ${program})
    endif()
endforeach()

# The release date of the man pages: the newest changelog entry's.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog iox_signoff REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX REPLACE ".*, ([0-9]+ [A-Za-z]+ [0-9]+) .*" "\\1" IOX_RELEASE_DATE "${iox_signoff}")

# Man pages: written in Markdown, turned into roff by pandoc and compressed as Debian wants
# (gzip -n: no name or time stamp, so the package is reproducible).
set(IOX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/iox-controller)
find_program(IOX_PANDOC pandoc)
find_program(IOX_GZIP gzip REQUIRED)
set(iox_generated "")
if(IOX_PANDOC)
    foreach(program ${IOX_PACKAGED_PROGRAMS})
        set(source ${PROJECT_SOURCE_DIR}/docs/man/${program}.1.md)
        set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${IOX_PANDOC} -s -f markdown-smart -t man -M "footer=iox-controller ${PROJECT_VERSION}"
                    -M "date=${IOX_RELEASE_DATE}" ${source} -o ${page}
            COMMAND ${IOX_GZIP} -9nf ${page}
            DEPENDS ${source} VERBATIM)
        install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
        list(APPEND iox_generated ${page}.gz)
    endforeach()
else()
    message(STATUS "pandoc not found: no man pages (Debian package pandoc)")
endif()

# udev reads lib/udev/rules.d under /usr and /usr/local; the number puts the rule before
# the seat rules that turn the uaccess tag into an access list for the session's user.
set(IOX_UDEV_RULES_DIR lib/udev/rules.d)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/70-iox.rules DESTINATION ${IOX_UDEV_RULES_DIR})
if(TARGET iox-controller)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/iox-controller.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/org.iox_controller.controller.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/iox-controller.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    # Bitmap icons for menus and docks that do not draw SVG, rendered from the same image.
    find_program(IOX_RSVG_CONVERT rsvg-convert)
    if(IOX_RSVG_CONVERT)
        foreach(size 16 32 48 64 128 256)
            set(png ${CMAKE_BINARY_DIR}/icons/${size}/iox-controller.png)
            add_custom_command(OUTPUT ${png}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}
                COMMAND ${IOX_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CMAKE_CURRENT_LIST_DIR}/iox-controller.svg
                DEPENDS ${CMAKE_CURRENT_LIST_DIR}/iox-controller.svg VERBATIM)
            install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
            list(APPEND iox_generated ${png})
        endforeach()
    endif()
endif()
if(TARGET ioxctl)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/completion/ioxctl.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ioxctl)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/completion/_ioxctl DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
endif()

# The licence in Debian's format, the changelog and the sample image beside them.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
set(iox_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${iox_changelog}
    COMMAND ${IOX_GZIP} -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${iox_changelog}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
list(APPEND iox_generated ${iox_changelog})
add_custom_target(iox_package_files ALL DEPENDS ${iox_generated})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME iox-controller)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${iox_changelog} ${PROJECT_SOURCE_DIR}/samples/USB_IO_Firmware_A4.hex
    ${PROJECT_SOURCE_DIR}/docs/http.md
    DESTINATION ${IOX_DOC_DIR})

# ---- Debian package ----------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME iox-controller)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "USB To I/O Controller maintainers <maintainers@iox-controller.org>")
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
scripts. A udev rule lets the user logged in at the seat, and the members
of the group iox, open the boxes without root.")
# Debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/postrm)
# Files installed into /etc are the administrator's once installed: whoever installs one adds
# it with set_property(GLOBAL APPEND PROPERTY IOX_CONFFILES /etc/FILE) before this file is read.
get_property(iox_conffiles GLOBAL PROPERTY IOX_CONFFILES)
if(iox_conffiles)
    list(JOIN iox_conffiles "\n" iox_conffiles_text)
    file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles "${iox_conffiles_text}\n")
    list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies from the libraries the programs link, as Debian names them; without
# dpkg-shlibdeps, the same packages by hand. postinst makes the group and user with adduser;
# the Python module needs the interpreter it was built for; the windows ask for Liberation
# Sans, whose widths fit their layout.
set(iox_depends "adduser")
if(TARGET iox-controller)
    list(APPEND iox_depends fonts-liberation2)
endif()
if(TARGET iox_python)
    find_package(Python3 COMPONENTS Interpreter QUIET)
    if(Python3_FOUND)
        math(EXPR iox_python_next "${Python3_VERSION_MINOR} + 1")
        list(APPEND iox_depends "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~)"
                                "python3 (<< ${Python3_VERSION_MAJOR}.${iox_python_next})")
    endif()
endif()
find_program(IOX_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(IOX_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    list(APPEND iox_depends libqt6widgets6 libqt6gui6 libqt6core6 libhidapi-hidraw0 libc6 libstdc++6)
endif()
list(JOIN iox_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
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
    add_test(NAME package_lintian
        COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check-deb ${CMAKE_BINARY_DIR} "${iox_programs_text}" --lintian)
    set_tests_properties(package_lintian PROPERTIES LABELS package TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

# --help and --version of every program print and exit, and touch no window system: a
# platform plugin that does not exist would make a window program abort.
foreach(program ${IOX_PACKAGED_PROGRAMS})
    if(IOX_BUILD_TESTS)
        add_test(NAME ${program}.version COMMAND ${program} --version)
        add_test(NAME ${program}.help COMMAND ${program} --help)
        set_tests_properties(${program}.version PROPERTIES PASS_REGULAR_EXPRESSION "^${program} ${PROJECT_VERSION}\n$"
            ENVIRONMENT "QT_QPA_PLATFORM=none;DISPLAY=;WAYLAND_DISPLAY=")
        set_tests_properties(${program}.help PROPERTIES PASS_REGULAR_EXPRESSION "[Uu]sage: ${program} .*--version"
            ENVIRONMENT "QT_QPA_PLATFORM=none;DISPLAY=;WAYLAND_DISPLAY=")
    endif()
endforeach()
