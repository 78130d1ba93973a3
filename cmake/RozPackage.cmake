# The Debian package (`cpack -G DEB`, or `make package` from the top folder): everything the
# install rules put under the prefix, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME roziduv2)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The ROZIDUV2 developers")
set(CPACK_PACKAGE_CONTACT "ROZIDUV2 maintainers <maintainers@roziduv2.example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "teaching simulator of a small 64-bit CPU
ROZIDUV2 is a desktop simulator of a small 64-bit CPU for teaching: students
load a code image, then reset, single-step, run, pause, resume or stop the
CPU while they watch and edit its registers and memory, hold keys that the
program polls and read the numbers it prints on a monitor. The window's texts
are Chinese with English glosses.
.
The package also holds a headless runner for grading (roziduv2-cli), an
assembler (roziduv2-asm) and a C compiler for the machine (roziduv2-cc, which
runs clang and links LLVM), with the help documents in CHM form.")
# The libraries (Qt 6, LLVM, the C++ runtime) come from dpkg-shlibdeps; the rest is what the
# programs start or read at run time: clang as the compiler's front end (the one it was built
# with), the CJK font that the window's texts need, and a CHM viewer for the help menu.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
get_filename_component(clang_name ${ROZ_CLANG} NAME)
if(NOT clang_name MATCHES "^clang-([0-9]+)$")
  message(FATAL_ERROR "the package depends on clang-N by name; ${ROZ_CLANG} is not one")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${clang_name}, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xchm | kchmviewer, xdg-utils, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

# The changelog's newest entry names the version the package gets.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_head LIMIT_COUNT 1)
set(package_version ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
if(NOT changelog_head MATCHES "^roziduv2 \\(${package_version}\\) ")
  message(FATAL_ERROR "packaging/changelog does not start with version ${package_version}: add its entry")
endif()

include(CPack)
