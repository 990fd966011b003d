# APPC verb round trips through appcnode beside a plain loopback request/reply in the same run:
# `cmake --build <dir> --target bench_node`.
if(TARGET appcnode)
  add_executable(node_bench ${CMAKE_CURRENT_LIST_DIR}/node_bench.cpp)
  target_link_libraries(node_bench PRIVATE appc_client_testnode)
  target_compile_definitions(node_bench PRIVATE "APPCNODE_PATH=\"$<TARGET_FILE:appcnode>\"")
  add_dependencies(node_bench appcnode)
  add_custom_target(bench_node COMMAND node_bench DEPENDS node_bench appcnode VERBATIM)
endif()
