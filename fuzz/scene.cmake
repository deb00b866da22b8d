ms_fuzz(scene_fuzz scene_fuzz.cpp ms_skin)
