# The layers from the bottom up. Each gets a folder of links in the build tree that shows its
# own source folder and those of the layers below it, and nothing else; that folder is its
# only way to the sources' headers, so including a higher layer is "No such file".
set(VISTREL_LAYERS platform model engines ui app)
set(VISTREL_LAYER_VIEWS ${CMAKE_BINARY_DIR}/layers)

function(vistrel_layer layer)
  set(view ${VISTREL_LAYER_VIEWS}/${layer})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  list(FIND VISTREL_LAYERS ${layer} top)
  foreach(i RANGE ${top})
    list(GET VISTREL_LAYERS ${i} seen)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${seen} ${view}/${seen} SYMBOLIC)
  endforeach()
  qt_add_library(vistrel_${layer} STATIC ${ARGN})
  # PRIVATE: a layer's view is its own; the layers above bring their own, wider one.
  target_include_directories(vistrel_${layer} PRIVATE ${view})
endfunction()
