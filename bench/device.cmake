ms_bench(device_bench SOURCES device_bench.cpp LIBS ms_d3d8 ms_d3dx)
