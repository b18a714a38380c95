# The Debian package: `make package` (cpack in the main build) packs what `make install`
# installs, under /usr, as tessavor_<version>_amd64.deb. The version is the project's, the
# one every program's --version prints.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessavor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tessavor developers <tessavor@users.noreply.localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mesh editor and IFF compiler for Starvigil models")
# The long description: CPack puts the summary above it as the synopsis line, so it does not
# repeat it. Lines stay under 80 characters, as Debian's tools want them.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tessavor rips the polygon meshes out of the game's IFF model files and edits
their vertices, normals, corners, faces, materials and texture coordinates. It
shows them in OpenGL and 2D views, exchanges them with other 3D tools, and
compiles game-ready IFF and TRE files with its script compiler iffc.
tessavor-cli runs the editor's operations without windows.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tessavor.invalid/")
# The libraries the programs and the private libraries load, by their Debian 12 package
# names: Qt 6 (its xcb and offscreen platforms are in libqt6gui6), zlib, Assimp for mesh
# interchange, meshoptimizer for fitting imports to the records, libdeflate for inflate and
# checksums, libpng for the textures of exports. The package test checks that every
# library the packed files need comes from one of these.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, zlib1g, libqt6core6, libqt6gui6, libqt6widgets6, libqt6opengl6, libqt6openglwidgets6, libassimp5, libdeflate0, libpng16-16, libmeshoptimizer2d")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, shared-mime-info")
# The build keeps its debugging information; the package does not.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
