# Runs a Java main class with the native libraries' JNI use checked, and fails when it
# exits nonzero or the virtual machine warns about any JNI call.
# Usage: cmake -DJAVA=<java> -DCLASSPATH=<jars> -DLIBRARY_DIR=<dir> -DMAIN=<class>
#              [-DARGS=<arg>] -P run_java_test.cmake
execute_process(
  COMMAND ${JAVA} -Xcheck:jni -Djava.library.path=${LIBRARY_DIR} -cp ${CLASSPATH} ${MAIN} ${ARGS}
  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${MAIN} ended with ${rc}")
endif()
if(out MATCHES "(^|\n)[^\n]*WARNING[^\n]*")
  message(FATAL_ERROR "the virtual machine warned: ${CMAKE_MATCH_0}")
endif()
