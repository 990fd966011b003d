# Load and soak: netgate and hostgate over a long run of sequential requests, with the resident
# sets of the service and of the node sampled, then a burst of clients at once.
#   cmake --build <dir> --target bench_netgate_soak bench_hostgate_soak      100,000 each
#   cmake --build <dir> --target bench_soak_quick                            a short check
if(TARGET appcnode AND TARGET netgate AND TARGET hostgate)
  add_library(soak_support STATIC ${CMAKE_CURRENT_LIST_DIR}/soak_support.cpp)
  target_link_libraries(soak_support PUBLIC frame platform)

  add_executable(netgate_soak ${CMAKE_CURRENT_LIST_DIR}/netgate_soak.cpp)
  target_link_libraries(netgate_soak PRIVATE soak_support)
  add_executable(hostload ${CMAKE_CURRENT_LIST_DIR}/hostload.cpp)
  target_link_libraries(hostload PRIVATE soak_support appc appc_client)
  add_executable(hostgate_soak ${CMAKE_CURRENT_LIST_DIR}/hostgate_soak.cpp)
  target_link_libraries(hostgate_soak PRIVATE soak_support)

  set(netgate_soak_command netgate_soak $<TARGET_FILE:appcnode> $<TARGET_FILE:netgate>)
  set(hostgate_soak_command hostgate_soak $<TARGET_FILE:appcnode> $<TARGET_FILE:hostgate>
      $<TARGET_FILE:hostload>)
  add_custom_target(bench_netgate_soak COMMAND ${netgate_soak_command} 100000 200
                    DEPENDS netgate_soak appcnode netgate VERBATIM)
  add_custom_target(bench_hostgate_soak COMMAND ${hostgate_soak_command} 100000 200
                    DEPENDS hostgate_soak hostload appcnode hostgate VERBATIM)
  add_custom_target(bench_soak_quick
                    COMMAND ${netgate_soak_command} 5000 200
                    COMMAND ${hostgate_soak_command} 5000 200
                    DEPENDS netgate_soak hostgate_soak hostload appcnode netgate hostgate VERBATIM)
endif()
