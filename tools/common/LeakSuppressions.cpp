// Leaks inside third-party libraries that no way of calling them avoids, kept out of
// LeakSanitizer's reports for every test program that links the test helpers.

/// LeakSanitizer asks for this at start-up. libsndfile 1.2 does not clear the
/// vorbis_info it set up when an Ogg Vorbis file turns out to be truncated or
/// damaged in its headers, and which header is cut cannot be known before
/// libsndfile has read it, so each such open loses that structure. Only
/// allocations made by libvorbis' vorbis_info_init are let through.
extern "C" const char* __lsan_default_suppressions() { return "leak:vorbis_info_init\n"; }
