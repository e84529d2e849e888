# Installing the programs and the Debian package that cluster nodes install (docs/escala.md).
#
#   cmake --install build --prefix P    the programs under P/bin, the documents under
#                                       P/share/doc/corretor, the Slurm script under
#                                       P/share/corretor, the Python module corretor under
#                                       P/lib/python3/dist-packages (python/CMakeLists.txt)
#   scripts/pacote                      corretor_<versão>_<arquitetura>.deb, by cpack -G DEB
#
# The package's dependencies are worked out by dpkg-shlibdeps from the libraries the programs
# link (the OpenCV modules, the C++ runtime), so they follow the build.
include(GNUInstallDirs)
install(TARGETS corrigir corrigir-lote corrigir-video malha comparar
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(PROGRAMS scripts/slurm-lote.sh DESTINATION ${CMAKE_INSTALL_DATADIR}/corretor)

set(CPACK_PACKAGE_NAME corretor)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "corrige a distorção de imagens de campo circular por uma malha de triângulos")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "mantenedores do corretor <corretor@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Python module needs what no library it links names: its Python and numpy.
if(CORRETOR_DEPENDENCIAS_PYTHON)
    string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${CPACK_DEBIAN_PACKAGE_DEPENDS}
           "${CORRETOR_DEPENDENCIAS_PYTHON}")
endif()
include(CPack)
