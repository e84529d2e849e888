# Installing the programs and the Debian package that cluster nodes install (docs/escala.md).
#
#   cmake --install build --prefix P    the programs under P/bin, the documents (with the
#                                       Debian copyright and changelog) under P/share/doc/corretor,
#                                       the Slurm script under P/share/corretor, the Python module
#                                       corretor under P/lib/python3/dist-packages
#                                       (python/CMakeLists.txt)
#   scripts/pacote [PASTA]              corretor_<versão>_<arquitetura>.deb, by cpack -G DEB,
#                                       checked by lintian
#
# What the package holds is every install() rule of the build: a new part of the system (a
# Python module, say) adds its own rules beside these. Its dependencies are worked out by
# dpkg-shlibdeps from the libraries that the installed programs link (the OpenCV modules,
# libjpeg, zlib, the C and C++ runtimes), so they follow the build; a dependency no program
# links (an interpreter) goes into CORRETOR_PACOTE_DEPENDE, which lists Debian relations
# ("python3 (>= 3.11)"), and lands in the package's Depends beside those.
include(GNUInstallDirs)
install(TARGETS corrigir corrigir-lote corrigir-video malha comparar
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(PROGRAMS scripts/slurm-lote.sh DESTINATION ${CMAKE_INSTALL_DATADIR}/corretor)

# Debian's own documents: the copyright file as it stands, the changelog compressed as Debian
# wants it (gzip -9, without a name or a time in its header, so that builds agree byte for byte).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/debian/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog
    VERBATIM)
add_custom_target(changelog_debian ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CORRETOR_PACOTE_DEPENDE "" CACHE STRING
    "Debian relations the package depends on beyond the libraries its programs link")

set(CPACK_PACKAGE_NAME corretor)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "corrige a distorção de imagens de campo circular por uma malha de triângulos")
set(CPACK_PACKAGE_DESCRIPTION
    "Amplia cada imagem quatro vezes e a deforma, triângulo por triângulo,
sobre a geometria de uma imagem padrão. corrigir corrige uma imagem;
corrigir-lote corrige muitas, em partes que máquinas diferentes podem
tomar (o script de Slurm fica em /usr/share/corretor); corrigir-video
corrige cada quadro de um vídeo; malha faz e confere a malha; comparar
mede o resultado contra o padrão; o módulo Python corretor corrige
arrays do numpy.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "mantenedores do corretor <corretor@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Python module needs what no library it links names: its Python and numpy.
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${CORRETOR_PACOTE_DEPENDE}")
if(CORRETOR_DEPENDENCIAS_PYTHON)
    string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${CPACK_DEBIAN_PACKAGE_DEPENDS}
           "${CORRETOR_DEPENDENCIAS_PYTHON}")
endif()
include(CPack)
