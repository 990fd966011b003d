# Gateway latency and memory: netgate towards the node's echo TP beside a framed TCP echo
# server, one connection per request, in the same run: `cmake --build <dir> --target bench_gateway`.
if(TARGET appcnode AND TARGET netgate)
  add_executable(gateway_bench ${CMAKE_CURRENT_LIST_DIR}/gateway_bench.cpp)
  target_link_libraries(gateway_bench PRIVATE soak_support)
  add_custom_target(bench_gateway
                    COMMAND gateway_bench $<TARGET_FILE:appcnode> $<TARGET_FILE:netgate> 2000
                    DEPENDS gateway_bench appcnode netgate VERBATIM)
endif()
