# kryptaj from Java beside javax.crypto DES: `cmake --build <dir> --target bench_kryptaj`.
if(TARGET kryptaj_jar)
  find_package(Java 17 COMPONENTS Development Runtime)
  include(UseJava)
  add_jar(kryptaj_bench_jar SOURCES ${CMAKE_CURRENT_LIST_DIR}/KryptajBench.java
          INCLUDE_JARS kryptaj_jar OUTPUT_NAME kryptaj-bench)
  get_target_property(kryptaj_bench_jar_file kryptaj_bench_jar JAR_FILE)
  add_custom_target(bench_kryptaj
    COMMAND ${Java_JAVA_EXECUTABLE} -Djava.library.path=$<TARGET_FILE_DIR:kryptaj>
            -cp ${KRYPTAJ_JAR}:${kryptaj_bench_jar_file} KryptajBench
    DEPENDS kryptaj kryptaj_bench_jar
    VERBATIM)
endif()
