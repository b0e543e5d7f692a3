# SPDX-License-Identifier: BSD-3-Clause
# Fails when an include points the wrong way between the folders of src/.
#
#   cmake -DSOURCE_DIR=src -DMATFILE_USES=host -P scripts/check_includes.cmake
#
# SOURCE_DIR/folders.txt lists the feature folders from the bottom layer up
# (the one place that order is written): a file in one of them may include
# its own folder and the folders listed before it.  matfile
# stands beside them and may include itself and the folders in MATFILE_USES.
# A folder of src/ in neither list is an error too, so that a new folder gets
# its place in the order.  Every include of the form "folder/..." or
# <folder/...> that names a folder of src/ is checked.
if(NOT DEFINED SOURCE_DIR)
  message(FATAL_ERROR "check_includes.cmake needs -DSOURCE_DIR=...")
endif()
file(STRINGS ${SOURCE_DIR}/folders.txt folders REGEX "^[a-z]")
list(TRANSFORM folders STRIP)
string(REPLACE "," ";" matfile_uses "${MATFILE_USES}")

# What each folder may include, from the order.
set(allowed)
foreach(folder ${folders})
  list(APPEND allowed ${folder})
  set(allowed_${folder} ${allowed})
endforeach()
set(allowed_matfile matfile ${matfile_uses})

file(GLOB entries LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
set(src_folders)
foreach(entry ${entries})
  if(IS_DIRECTORY ${SOURCE_DIR}/${entry})
    list(APPEND src_folders ${entry})
  endif()
endforeach()

set(faults 0)
foreach(folder ${src_folders})
  if(NOT DEFINED allowed_${folder})
    message(NOTICE "src/${folder}/ has no place in the folder order (src/folders.txt)")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*)
  foreach(file ${files})
    file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^/\">]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" target "${line}")
      string(REGEX REPLACE "/.*$" "" target_folder "${target}")
      list(FIND src_folders ${target_folder} is_src_folder)
      list(FIND allowed_${folder} ${target_folder} is_allowed)
      if(is_src_folder GREATER -1 AND is_allowed EQUAL -1)
        string(REPLACE ";" ", " may "${allowed_${folder}}")
        message(NOTICE "src/${file} includes ${target}; ${folder} may include only ${may}")
        math(EXPR faults "${faults} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "${faults} fault(s) in the order of includes (README, Layout)")
endif()
