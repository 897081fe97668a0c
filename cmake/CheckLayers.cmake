# Keeps the source folders layered: a file may include headers of its own
# folder, of another folder on its own layer, or of a folder below it, never
# of a folder above. Run as
#   cmake -DROOT=<tree> -P CheckLayers.cmake
# where <tree> holds src/<folder>/ and tools/cli/. Fails listing every
# include that points upward, and on a folder the table does not know.

# Layer of each folder, from the bottom. docs/ARCHITECTURE.md explains them.
set(layer_base 0)      # status type, channels, local time, decimal texts
set(layer_run 1)       # run state machine, RunInfo
set(layer_settings 2)  # INI file, settings keys, program paths
set(layer_data 3)      # reading store, RunView, data file, export, journal, set table
set(layer_plot 4)      # plot maths shared by every graph and the printed page
set(layer_link 5)      # serial control, protocol, decoder, discovery, simulator
set(layer_recorder 6)  # the window-free recorder: link timers and sampling
set(layer_publish 6)   # publishing a recording to an MQTT broker
set(layer_widgets 7)   # small shared widgets and painters
set(layer_graph 8)     # real-time graph
set(layer_panels 8)    # panels around the real-time graph
set(layer_report 8)    # test report painter and print commands
set(layer_logger 9)    # logger window
set(layer_cli 9)       # zb740-cli (tools/cli): everything but the main window
set(layer_app 10)      # main window, view and wiring
set(layer_res 10)      # pictures

if(NOT ROOT)
  message(FATAL_ERROR "CheckLayers: pass -DROOT=<source tree>")
endif()

file(GLOB_RECURSE sources RELATIVE ${ROOT}
     ${ROOT}/src/*.h ${ROOT}/src/*.cpp ${ROOT}/tools/cli/*.h ${ROOT}/tools/cli/*.cpp)
set(violations "")
foreach(rel IN LISTS sources)
  if(rel MATCHES "^src/([^/]+)/")
    set(own ${CMAKE_MATCH_1})
  elseif(rel MATCHES "^tools/cli/")
    set(own cli)
  else()
    continue()
  endif()
  if(NOT DEFINED layer_${own})
    string(APPEND violations "\n  ${rel}: folder '${own}' has no layer")
    continue()
  endif()
  file(STRINGS ${ROOT}/${rel} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+/[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*$" "\\1" target "${line}")
    if(NOT DEFINED layer_${target})
      string(APPEND violations "\n  ${rel}: includes from '${target}', a folder with no layer")
    elseif(layer_${target} GREATER layer_${own})
      string(STRIP "${line}" shown)
      string(APPEND violations "\n  ${rel} (${own}, layer ${layer_${own}}): ${shown} (${target}, layer ${layer_${target}})")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes that run upward across the layers:${violations}")
endif()
list(LENGTH sources n)
message(STATUS "Layers hold: ${n} files checked")
