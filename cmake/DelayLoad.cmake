# DLLs that are not KnownDLLs are delay-loaded, so Windows never looks for them beside the program
# before our first line runs (the program starts elevated from a Downloads folder). Each .def under
# cmake/delayload/ becomes a delay-import library delay_<name>.
file(GLOB SETUP_DELAY_DEFS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delayload/*.def)
foreach(def ${SETUP_DELAY_DEFS})
  get_filename_component(name ${def} NAME_WE)
  set(lib ${CMAKE_BINARY_DIR}/delayload/lib${name}_delay.a)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # 64-bit exports carry no stdcall decoration. The copy is written while configuring, so an edited
    # .def must configure again.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    file(READ ${def} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(def ${CMAKE_BINARY_DIR}/delayload/${name}.def)
    file(WRITE ${def} "${text}")
  endif()
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
    COMMAND ${CMAKE_DLLTOOL} -k -d ${def} -y ${lib}
    DEPENDS ${def}
    COMMENT "Delay-import library for ${name}.dll")
  add_custom_target(delay_${name}_lib DEPENDS ${lib})
  add_library(delay_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(delay_${name} PROPERTIES IMPORTED_LOCATION ${lib})
  add_dependencies(delay_${name} delay_${name}_lib)
endforeach()
