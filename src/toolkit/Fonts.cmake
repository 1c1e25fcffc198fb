# The raster font that stands in for "fixedsys" is bundled with the program:
# the build copies it from the installed fonts-unifont package into the build
# folder and compiles it into the toolkit's resources (":/fonts/unifont.otf"),
# so the program never depends on the font set-up of the machine it runs on.
set(INSTALLER_UNIFONT_FILE "/usr/share/fonts/opentype/unifont/unifont.otf"
    CACHE FILEPATH "Unifont file from the fonts-unifont package")
if(NOT EXISTS "${INSTALLER_UNIFONT_FILE}")
  message(FATAL_ERROR "Unifont not found at ${INSTALLER_UNIFONT_FILE} (install fonts-unifont)")
endif()

set(toolkit_font_dir "${CMAKE_CURRENT_BINARY_DIR}/fonts")
add_custom_command(
  OUTPUT "${toolkit_font_dir}/unifont.otf"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${toolkit_font_dir}"
  COMMAND ${CMAKE_COMMAND} -E copy_if_different "${INSTALLER_UNIFONT_FILE}" "${toolkit_font_dir}/unifont.otf"
  DEPENDS "${INSTALLER_UNIFONT_FILE}"
  COMMENT "Bundling the Unifont raster font")
qt_add_resources(toolkit toolkit_fonts
  PREFIX "/fonts"
  BASE "${toolkit_font_dir}"
  FILES "${toolkit_font_dir}/unifont.otf")
