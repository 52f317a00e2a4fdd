/* A shared library that is not a LADSPA plug-in library: no ladspa_descriptor. */
__attribute__((visibility("default"))) int gloam_test_not_a_plugin(void) { return 1; }
