# zifrakit beside its peers: OpenSSL's DES, zlib's crc32 and Boost's table-driven CRC.
find_package(benchmark REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(ZLIB REQUIRED)
find_package(Boost REQUIRED)
add_executable(zifrakit_bench ${CMAKE_CURRENT_LIST_DIR}/zifrakit_bench.cpp)
target_link_libraries(zifrakit_bench PRIVATE zifrakit benchmark::benchmark OpenSSL::Crypto
                                             ZLIB::ZLIB Boost::headers)
