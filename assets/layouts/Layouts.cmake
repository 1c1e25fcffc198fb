# The stored window layouts and the files they name, compiled into the
# installer's resources: ":/layouts/<Form>.layout" and, beside them,
# ":/layouts/pictures/<name>.dib" from the generated pictures. rcc reads the
# files at build time, so editing a picture or a layout rebuilds the program.
set(layout_dir "${CMAKE_SOURCE_DIR}/assets/layouts")
set(picture_dir "${CMAKE_SOURCE_DIR}/assets/pictures")
file(GLOB layout_files CONFIGURE_DEPENDS "${layout_dir}/*.layout")
file(GLOB layout_pictures CONFIGURE_DEPENDS "${picture_dir}/*.dib")

qt_add_resources(installer_core installer_layouts
  PREFIX "/layouts"
  BASE "${layout_dir}"
  FILES ${layout_files})
# Pictures are stored as they are: their bytes are read back exactly.
qt_add_resources(installer_core installer_layout_pictures
  PREFIX "/layouts"
  BASE "${CMAKE_SOURCE_DIR}/assets"
  FILES ${layout_pictures})
