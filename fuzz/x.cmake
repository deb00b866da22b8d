ms_fuzz(x_fuzz x_fuzz.cpp ms_model)
