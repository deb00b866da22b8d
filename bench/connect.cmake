ms_bench(connect_bench SOURCES connect_bench.cpp LIBS ms_tools ms_edit)
