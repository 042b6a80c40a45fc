# HDF5's own tools on the file vrk_hdf5_check writes, the plugin found
# through HDF5_PLUGIN_PATH:
#
#   cmake -DMODE=dump|repack -DFILE=<file> -DWORK=<folder> -DH5DUMP=... -DH5REPACK=... -DH5DIFF=...
#         -DHEADER=<include/vrk/hdf5_filter.h> -P check_tools.cmake
#
# dump: h5dump prints the values of "/vrk", the same as those of "/gzip".
# repack: h5repack turns "/gzip" into a vrk dataset and back, and h5diff
# finds the values identical at every step.
cmake_minimum_required(VERSION 3.25)

file(STRINGS "${HEADER}" id_line REGEX "^#define VRK_HDF5_FILTER_ID [0-9]+")
string(REGEX REPLACE ".* ([0-9]+)$" "\\1" id "${id_line}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

# The DATA block of a dataset as h5dump prints it, without element indices or line wrapping.
function(dump_data file dataset out_var)
  run(${H5DUMP} -d ${dataset} -y -w 0 ${file})
  string(FIND "${output}" "DATA {" start)
  if(start LESS 0)
    message(FATAL_ERROR "h5dump printed no data for ${dataset}:\n${output}")
  endif()
  string(SUBSTRING "${output}" ${start} -1 data)
  set(${out_var} "${data}" PARENT_SCOPE)
endfunction()

# The filters h5dump lists for a dataset.
function(filters file dataset out_var)
  run(${H5DUMP} -p -H -d ${dataset} ${file})
  set(${out_var} "${output}" PARENT_SCOPE)
endfunction()

if(MODE STREQUAL "dump")
  dump_data(${FILE} /vrk vrk)
  dump_data(${FILE} /gzip gzip)
  if(NOT vrk STREQUAL gzip)
    message(FATAL_ERROR "h5dump prints other values for /vrk than for /gzip:\n${vrk}")
  endif()
  # Frame 2 starts with (2 * 1000) % 4096, then steps of 11.
  if(NOT vrk MATCHES "2000, 2011, 2022, ")
    message(FATAL_ERROR "h5dump's values are not the frames':\n${vrk}")
  endif()
  filters(${FILE} /vrk listed)
  if(NOT listed MATCHES "FILTER_ID ${id}")
    message(FATAL_ERROR "h5dump lists no filter ${id} for /vrk:\n${listed}")
  endif()
elseif(MODE STREQUAL "repack")
  # To vrk: version 1, loss factor 0, not fast, not graphics, 12 bits, grey; mandatory (flag 0).
  run(${H5REPACK} -f /gzip:UD=${id},0,6,1,0,0,0,12,0 ${FILE} ${WORK}/vrk.h5)
  filters(${WORK}/vrk.h5 /gzip listed)
  if(NOT listed MATCHES "FILTER_ID ${id}" OR listed MATCHES "DEFLATE")
    message(FATAL_ERROR "h5repack did not replace deflate with vrk:\n${listed}")
  endif()
  run(${H5DIFF} ${FILE} ${WORK}/vrk.h5 /gzip /gzip)
  # And back to deflate.
  run(${H5REPACK} -f /gzip:GZIP=6 ${WORK}/vrk.h5 ${WORK}/back.h5)
  filters(${WORK}/back.h5 /gzip listed)
  if(listed MATCHES "FILTER_ID ${id}" OR NOT listed MATCHES "DEFLATE")
    message(FATAL_ERROR "h5repack did not replace vrk with deflate:\n${listed}")
  endif()
  run(${H5DIFF} ${FILE} ${WORK}/back.h5)
else()
  message(FATAL_ERROR "MODE must be dump or repack, not ${MODE}")
endif()
