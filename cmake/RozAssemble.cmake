# roz_assemble_folder(TARGET SOURCE_DIR OUTPUT_DIR [LISTINGS]): assembles every SOURCE_DIR/NAME.s
# into OUTPUT_DIR/NAME.bin (and NAME.lst with LISTINGS) with roziduv2-asm, under one target
# that is part of ALL.
function(roz_assemble_folder target source_dir output_dir)
  cmake_parse_arguments(ARG "LISTINGS" "" "" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${source_dir}/*.s)
  set(images)
  foreach(source ${sources})
    get_filename_component(name ${source} NAME_WE)
    set(image ${output_dir}/${name}.bin)
    set(outputs ${image})
    set(listing_args)
    if(ARG_LISTINGS)
      list(APPEND outputs ${output_dir}/${name}.lst)
      set(listing_args --listing ${output_dir}/${name}.lst)
    endif()
    add_custom_command(OUTPUT ${outputs}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
      COMMAND roziduv2-asm ${source} -o ${image} ${listing_args}
      DEPENDS roziduv2-asm ${source}
      COMMENT "Assembling ${name}.s"
      VERBATIM)
    list(APPEND images ${image})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${images})
endfunction()
