/* Small LADSPA plug-ins whose output the host's tests can predict exactly. */
#include <ladspa.h>

#include <math.h>
#include <stdlib.h>

#define AUDIO_IN (LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO)
#define AUDIO_OUT (LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO)
#define CONTROL_IN (LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL)
#define CONTROL_OUT (LADSPA_PORT_OUTPUT | LADSPA_PORT_CONTROL)
#define BOUNDED (LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE)
#define MAX_PORTS 16

typedef struct {
    LADSPA_Data* ports[MAX_PORTS];
    LADSPA_Data state;   /* gain read at activation, or the delayed sample */
    unsigned long count; /* frames run since activation */
} Instance;

/* Lifecycle calls of "gloam_activate_gain", for the tests to read. */
static int lifecycleCounts[4]; /* instantiate, activate, deactivate, cleanup */

__attribute__((visibility("default"))) void gloam_test_lifecycle_counts(int counts[4]) {
    for (int i = 0; i < 4; ++i) {
        counts[i] = lifecycleCounts[i];
    }
}

static LADSPA_Handle instantiate(const LADSPA_Descriptor* descriptor, unsigned long sampleRate) {
    (void)descriptor;
    (void)sampleRate;
    return calloc(1, sizeof(Instance));
}

static LADSPA_Handle instantiateFails(const LADSPA_Descriptor* descriptor, unsigned long sampleRate) {
    (void)descriptor;
    (void)sampleRate;
    return NULL;
}

static void connectPort(LADSPA_Handle handle, unsigned long port, LADSPA_Data* data) {
    if (port < MAX_PORTS) {
        ((Instance*)handle)->ports[port] = data;
    }
}

static void cleanup(LADSPA_Handle handle) { free(handle); }

/* Ports: gain, input, output: the control comes first on purpose. */
static void runGainMono(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    const LADSPA_Data gain = *self->ports[0];
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[2][f] = gain * self->ports[1][f];
    }
}

/* Ports: in left, in right, gain, out left, out right. */
static void runGainStereo(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    const LADSPA_Data gain = *self->ports[2];
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[3][f] = gain * self->ports[0][f];
        self->ports[4][f] = gain * self->ports[1][f];
    }
}

/* Ports: in left, in right, out left, out right. Safe in place. */
static void runSwapStereo(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    for (unsigned long f = 0; f < numFrames; ++f) {
        const LADSPA_Data left = self->ports[0][f];
        const LADSPA_Data right = self->ports[1][f];
        self->ports[2][f] = right;
        self->ports[3][f] = left;
    }
}

/* Ports: input, output. Delays by one frame; activation clears the history. */
static void activateDelay(LADSPA_Handle handle) { ((Instance*)handle)->state = 0.0f; }

static void runDelay(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    for (unsigned long f = 0; f < numFrames; ++f) {
        const LADSPA_Data in = self->ports[0][f];
        self->ports[1][f] = self->state;
        self->state = in;
    }
}

/* Ports: input, output A, output B. A is the input inverted, B half of it;
   safe in place. */
static void runSplit(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    for (unsigned long f = 0; f < numFrames; ++f) {
        const LADSPA_Data in = self->ports[0][f];
        self->ports[1][f] = -in;
        self->ports[2][f] = 0.5f * in;
    }
}

/* As runSplit, but clears both outputs before reading the input, so run in
   place it only gives silence. */
static void runSplitInPlaceBroken(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[1][f] = 0.0f;
        self->ports[2][f] = 0.0f;
    }
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[1][f] += -self->ports[0][f];
        self->ports[2][f] += 0.5f * self->ports[0][f];
    }
}

/* Ports: in left, in right, output: a shape the host does not run. */
static void runMixDown(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[2][f] = self->ports[0][f] + self->ports[1][f];
    }
}

/* Ports: gain, input, output. Clears the whole output before reading the
   input, so run in place it turns everything into silence. */
static void runGainInPlaceBroken(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[2][f] = 0.0f;
    }
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[2][f] += *self->ports[0] * self->ports[1][f];
    }
}

/* Ports: gain, input, output. The gain counts only as it was at activation. */
static LADSPA_Handle instantiateCounted(const LADSPA_Descriptor* descriptor,
                                        unsigned long sampleRate) {
    ++lifecycleCounts[0];
    return instantiate(descriptor, sampleRate);
}

static void activateGain(LADSPA_Handle handle) {
    ++lifecycleCounts[1];
    Instance* self = (Instance*)handle;
    self->state = *self->ports[0];
}

static void deactivateCounted(LADSPA_Handle handle) {
    (void)handle;
    ++lifecycleCounts[2];
}

static void cleanupCounted(LADSPA_Handle handle) {
    ++lifecycleCounts[3];
    cleanup(handle);
}

static void runActivatedGain(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[2][f] = self->state * self->ports[1][f];
    }
}

/* Ports: frames, infinity, input, output. Passes its input through for
   "Frames" frames after activation, then writes NaN (or +infinity when
   "Infinity" is not 0): a plug-in whose output goes bad. */
static void activateNanAfter(LADSPA_Handle handle) { ((Instance*)handle)->count = 0; }

static void runNanAfter(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    const LADSPA_Data limit = *self->ports[0];
    const LADSPA_Data poison = *self->ports[1] != 0.0f ? INFINITY : NAN;
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[3][f] = (LADSPA_Data)self->count < limit ? self->ports[2][f] : poison;
        ++self->count;
    }
}

/* Ports: input, controls with every kind of range and default hint, a
   control output among them, output. Copies input to output. */
static void runHints(LADSPA_Handle handle, unsigned long numFrames) {
    Instance* self = (Instance*)handle;
    *self->ports[3] = 1.0f;
    for (unsigned long f = 0; f < numFrames; ++f) {
        self->ports[14][f] = self->ports[0][f];
    }
}

static const LADSPA_PortDescriptor gainMonoPorts[] = {CONTROL_IN, AUDIO_IN, AUDIO_OUT};
static const char* const gainMonoNames[] = {"Gain", "Input", "Output"};
static const LADSPA_PortRangeHint gainMonoHints[] = {
    {BOUNDED | LADSPA_HINT_DEFAULT_1, 0.0f, 4.0f}, {0, 0.0f, 0.0f}, {0, 0.0f, 0.0f}};

static const LADSPA_PortDescriptor gainStereoPorts[] = {AUDIO_IN, AUDIO_IN, CONTROL_IN, AUDIO_OUT,
                                                        AUDIO_OUT};
static const char* const gainStereoNames[] = {"Input L", "Input R", "Gain", "Output L",
                                              "Output R"};
static const LADSPA_PortRangeHint gainStereoHints[] = {{0, 0.0f, 0.0f},
                                                       {0, 0.0f, 0.0f},
                                                       {BOUNDED | LADSPA_HINT_DEFAULT_1, 0.0f, 4.0f},
                                                       {0, 0.0f, 0.0f},
                                                       {0, 0.0f, 0.0f}};

static const LADSPA_PortDescriptor swapPorts[] = {AUDIO_IN, AUDIO_IN, AUDIO_OUT, AUDIO_OUT};
static const char* const swapNames[] = {"Input L", "Input R", "Output L", "Output R"};
static const LADSPA_PortRangeHint swapHints[] = {
    {0, 0.0f, 0.0f}, {0, 0.0f, 0.0f}, {0, 0.0f, 0.0f}, {0, 0.0f, 0.0f}};

static const LADSPA_PortDescriptor monoPorts[] = {AUDIO_IN, AUDIO_OUT};
static const char* const monoNames[] = {"Input", "Output"};
static const LADSPA_PortRangeHint monoHints[] = {{0, 0.0f, 0.0f}, {0, 0.0f, 0.0f}};

static const LADSPA_PortDescriptor splitPorts[] = {AUDIO_IN, AUDIO_OUT, AUDIO_OUT};
static const char* const splitNames[] = {"Input", "Output A", "Output B"};
static const LADSPA_PortRangeHint splitHints[] = {
    {0, 0.0f, 0.0f}, {0, 0.0f, 0.0f}, {0, 0.0f, 0.0f}};

static const LADSPA_PortDescriptor mixDownPorts[] = {AUDIO_IN, AUDIO_IN, AUDIO_OUT};
static const char* const mixDownNames[] = {"Input L", "Input R", "Output"};
static const LADSPA_PortRangeHint mixDownHints[] = {
    {0, 0.0f, 0.0f}, {0, 0.0f, 0.0f}, {0, 0.0f, 0.0f}};

static const LADSPA_PortDescriptor nanAfterPorts[] = {CONTROL_IN, CONTROL_IN, AUDIO_IN, AUDIO_OUT};
static const char* const nanAfterNames[] = {"Frames", "Infinity", "Input", "Output"};
static const LADSPA_PortRangeHint nanAfterHints[] = {
    {LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_DEFAULT_0, 0.0f, 0.0f},
    {BOUNDED | LADSPA_HINT_TOGGLED | LADSPA_HINT_DEFAULT_0, 0.0f, 1.0f},
    {0, 0.0f, 0.0f},
    {0, 0.0f, 0.0f}};

static const LADSPA_PortDescriptor hintsPorts[] = {
    AUDIO_IN,   CONTROL_IN, CONTROL_IN, CONTROL_OUT, CONTROL_IN, CONTROL_IN, CONTROL_IN, CONTROL_IN,
    CONTROL_IN, CONTROL_IN, CONTROL_IN, CONTROL_IN,  CONTROL_IN, CONTROL_IN, AUDIO_OUT};
static const char* const hintsNames[] = {
    "Input", "Cutoff", "Pitch", "Level", "Free", "Frequency", "Offset", "Depth",
    "Floor", "Ceiling", "Steps", "Limit", "Count", "Rate", "Output"};
static const LADSPA_PortRangeHint hintsHints[] = {
    {0, 0.0f, 0.0f},
    {BOUNDED | LADSPA_HINT_SAMPLE_RATE | LADSPA_HINT_DEFAULT_MIDDLE, 0.0f, 0.5f},
    {LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_DEFAULT_440, 20.0f, 0.0f},
    {0, 0.0f, 0.0f},
    {0, 0.0f, 0.0f},
    {BOUNDED | LADSPA_HINT_LOGARITHMIC | LADSPA_HINT_DEFAULT_LOW, 10.0f, 1000.0f},
    {BOUNDED, 2.0f, 4.0f},
    {BOUNDED | LADSPA_HINT_DEFAULT_HIGH, 0.0f, 10.0f},
    {BOUNDED | LADSPA_HINT_DEFAULT_MINIMUM, -1.0f, 1.0f},
    {BOUNDED | LADSPA_HINT_DEFAULT_MAXIMUM, 0.0f, 8.0f},
    {BOUNDED | LADSPA_HINT_INTEGER | LADSPA_HINT_DEFAULT_MIDDLE, 0.0f, 3.0f},
    {LADSPA_HINT_BOUNDED_ABOVE, 0.0f, -5.0f},
    {LADSPA_HINT_DEFAULT_100, 0.0f, 0.0f},
    {LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_SAMPLE_RATE | LADSPA_HINT_DEFAULT_MAXIMUM, 0.01f, 0.0f},
    {0, 0.0f, 0.0f}};

#define PORTS(prefix) sizeof(prefix##Ports) / sizeof(prefix##Ports[0]), prefix##Ports, \
                      prefix##Names, prefix##Hints

static const LADSPA_Descriptor descriptors[] = {
    {9001, "gloam_gain_mono", LADSPA_PROPERTY_HARD_RT_CAPABLE, "Gain (mono)", "gloam", "none",
     PORTS(gainMono), NULL, instantiate, connectPort, NULL, runGainMono, NULL, NULL, NULL, cleanup},
    {9002, "gloam_gain_stereo", LADSPA_PROPERTY_HARD_RT_CAPABLE, "Gain (stereo)", "gloam", "none",
     PORTS(gainStereo), NULL, instantiate, connectPort, NULL, runGainStereo, NULL, NULL, NULL,
     cleanup},
    {9003, "gloam_swap_stereo", 0, "Swap left and right", "gloam", "none", PORTS(swap), NULL,
     instantiate, connectPort, NULL, runSwapStereo, NULL, NULL, NULL, cleanup},
    {9004, "gloam_delay_mono", 0, "One-frame delay", "gloam", "none", PORTS(mono), NULL,
     instantiate, connectPort, activateDelay, runDelay, NULL, NULL, NULL, cleanup},
    {9005, "gloam_hints", 0, "Range and default hints", "gloam", "none", PORTS(hints), NULL,
     instantiate, connectPort, NULL, runHints, NULL, NULL, NULL, cleanup},
    {9006, "gloam_split", 0, "One input, two outputs", "gloam", "none", PORTS(split), NULL,
     instantiate, connectPort, NULL, runSplit, NULL, NULL, NULL, cleanup},
    {9007, "gloam_gain_inplace_broken", LADSPA_PROPERTY_INPLACE_BROKEN, "Gain, not in place",
     "gloam", "none", PORTS(gainMono), NULL, instantiate, connectPort, NULL, runGainInPlaceBroken,
     NULL, NULL, NULL, cleanup},
    {9008, "gloam_activate_gain", 0, "Gain taken at activation", "gloam", "none", PORTS(gainMono),
     NULL, instantiateCounted, connectPort, activateGain, runActivatedGain, NULL, NULL,
     deactivateCounted, cleanupCounted},
    {9009, "gloam_descriptor_without_a_run_function", 0, "No run function", "gloam", "none",
     PORTS(gainMono), NULL, instantiate, connectPort, NULL, NULL, NULL, NULL, NULL, cleanup},
    {9010, "gloam_instantiate_fails", 0, "Cannot be instantiated", "gloam", "none",
     PORTS(gainMono), NULL, instantiateFails, connectPort, NULL, runGainMono, NULL, NULL, NULL,
     cleanup},
    {9011, "gloam_split_inplace_broken", LADSPA_PROPERTY_INPLACE_BROKEN,
     "One input, two outputs, not in place", "gloam", "none", PORTS(split), NULL, instantiate,
     connectPort, NULL, runSplitInPlaceBroken, NULL, NULL, NULL, cleanup},
    {9012, "gloam_mix_down", 0, "Two inputs, one output", "gloam", "none", PORTS(mixDown), NULL,
     instantiate, connectPort, NULL, runMixDown, NULL, NULL, NULL, cleanup},
    {9013, "gloam_nan_after", 0, "Goes bad after a number of frames", "gloam", "none",
     PORTS(nanAfter), NULL, instantiate, connectPort, activateNanAfter, runNanAfter, NULL, NULL,
     NULL, cleanup},
};

__attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor(unsigned long index) {
    return index < sizeof(descriptors) / sizeof(descriptors[0]) ? &descriptors[index] : NULL;
}
