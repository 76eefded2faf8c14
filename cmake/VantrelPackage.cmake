# What the Debian package holds beside the programs, and how CPack builds it
# (scripts/package runs cpack in the build folder).
include(GNUInstallDirs)

set(VANTREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vantrel)
set(VANTREL_PACKAGE_BUILD ${PROJECT_BINARY_DIR}/package)

# Manual pages and the changelog carry the project's version and go in compressed, as
# Debian expects (-n: no time stamp, so the bytes do not depend on the build time).
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(VANTREL_COMPRESSED)
foreach(source docs/man/vantrel.1.in docs/man/vantrelctl.1.in packaging/changelog.in)
    get_filename_component(name ${source} NAME_WLE)
    set(configured ${VANTREL_PACKAGE_BUILD}/${name})
    configure_file(${PROJECT_SOURCE_DIR}/${source} ${configured} @ONLY)
    add_custom_command(OUTPUT ${configured}.gz
        COMMAND ${GZIP_EXECUTABLE} -9n -c ${configured} > ${configured}.gz
        DEPENDS ${configured}
        COMMENT "Compressing ${name}")
    list(APPEND VANTREL_COMPRESSED ${configured}.gz)
endforeach()
add_custom_target(vantrel_package_files ALL DEPENDS ${VANTREL_COMPRESSED})

install(FILES ${VANTREL_PACKAGE_BUILD}/vantrel.1.gz ${VANTREL_PACKAGE_BUILD}/vantrelctl.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/vantrelctl.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vantrelctl)
install(FILES packaging/example.vantrel.Vantrel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/copyright ${VANTREL_PACKAGE_BUILD}/changelog.gz
        DESTINATION ${VANTREL_DOC_DIR})
# Registers the user guide with the system's documentation index.
install(FILES packaging/vantrel-guide.doc-base
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base RENAME vantrel.vantrel-guide)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vantrel Software <packages@vantrel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "choose a web host by measurement and comparison")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.vantrel.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries: the windows' faces are drawn in DejaVu Sans, loaded from its files.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-dejavu-core)
# The long description below the summary; CPack indents its lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vantrel helps you choose a web-hosting company. Describe each candidate host,
let Vantrel ping it and request its test URL cycle after cycle, watch uptime
and ping times, get an alert by message box and e-mail when a host goes down,
and write an HTML report that ranks the hosts under the weights you choose.
The package holds the desktop program and vantrelctl, its command-line
companion for scripts and headless machines. Pings need no root: they use the
unprivileged ICMP sockets that net.ipv4.ping_group_range allows.")
include(CPack)
