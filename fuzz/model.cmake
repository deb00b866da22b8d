ms_fuzz(gmf_fuzz gmf_fuzz.cpp ms_model)
