# Adds every subfolder of the current folder that has a CMakeLists.txt: one folder per layer.
# Folders whose name starts with "ui" or "help" need the window, so they are left out without Qt;
# "cc" needs the C compiler, left out without it.
function(roz_add_layer_subdirectories)
  file(GLOB dirs LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${dirs})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      get_filename_component(name ${dir} NAME)
      if(name MATCHES "^(ui|help)" AND NOT ROZ_WITH_QT)
        continue()
      endif()
      if(name MATCHES "^cc" AND NOT ROZ_WITH_CC)
        continue()
      endif()
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
