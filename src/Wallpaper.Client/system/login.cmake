target_sources(lumivra_core PRIVATE)
