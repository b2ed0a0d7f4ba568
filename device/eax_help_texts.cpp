// The help texts the EAX panel's tooltips show, one paragraph per control:
// what the property does to the sound, its range and unit, and its default.
#include <cstddef>

#include "device/eax_panel.h"
#include "resources/resource_ids.h"

namespace {

struct HelpText {
  int id;
  const char *text;
};

const HelpText kHelp[PANEL_HELP_COUNT] = {
    // Listener page.
    {IDC_LISTENER_SIZE_VALUE,
     "Sets the apparent size of the surrounding room, in meters. Changing it rescales the reverberation to "
     "the new size: for each \"Scale\" box that is checked, the decay time and the reflections and reverb "
     "delays grow in proportion to the size, and the reflections and reverb levels fall by about 6 dB for "
     "each doubling (the reverb by 9 dB when the decay time is not scaled). The other properties keep their "
     "values. Range 1.00 to 100.00 m; each environment sets its own size, the default (Generic) is 7.50 m."},
    {IDC_LISTENER_DIFFUSION_VALUE,
     "Controls the echo density in the reverberation decay. At 1.000, the default of most environments, the "
     "reverberation is smooth and dense as in an ordinary room; lower values let the single echoes stand out "
     "and make the tail grainy, which suits open spaces such as an alley, a forest or a city. Range 0.000 "
     "to 1.000, without unit."},
    {IDC_LISTENER_ROOM_VALUE,
     "The Room property is the master volume control for the reflected sound (the initial reflections and "
     "the late reverberation together) that the environment adds to every sound source. It is an "
     "attenuation in hundredths of a decibel (mB): 0 plays the reflected sound at full level, -10000 "
     "silences the room effect. Range -10000 to 0 mB; default -1000 mB (-10 dB), the value of every "
     "environment."},
    {IDC_LISTENER_ROOM_HF_VALUE,
     "The Room HF property further tweaks reflected sound by attenuating its high frequencies (at 5 kHz) "
     "against its low frequencies, as soft, absorbent surfaces do. 0 mB leaves the reflected sound "
     "unfiltered, -10000 mB takes its high end away. It does not touch the direct sound. Range -10000 to "
     "0 mB; default -100 mB (Generic)."},
    {IDC_LISTENER_DECAY_TIME_VALUE,
     "Sets the reverberation decay time. It is the time in seconds the late reverberation takes to fall by "
     "60 dB at low frequencies. Small rooms die away in well under a second, large halls and caves ring for "
     "several seconds. Range 0.10 to 20.00 s; default 1.49 s (Generic). With \"Scale Decay Time\" checked "
     "it follows changes of the environment size."},
    {IDC_LISTENER_DECAY_HF_RATIO_VALUE,
     "Sets the spectral quality of Decay Time. It is the ratio of the decay time at high frequencies "
     "(5 kHz) to the decay time at low frequencies. Below 1.000 the highs die away sooner and the room sounds warm and "
     "absorbent; above 1.000 they ring longer and the room sounds bright and hard. Range 0.100 to 2.000; "
     "default 0.830 (Generic)."},
    {IDC_LISTENER_REFLECTIONS_VALUE,
     "Controls the overall amount of initial reflections relative to the Room property. The initial (early) "
     "reflections are the first echoes from the nearest surfaces; more of them makes the walls sound close. "
     "Range -10000 to 1000 mB, where 0 changes nothing and -10000 silences them; default -2602 mB "
     "(Generic). With \"Scale Reflections\" checked the level falls as the environment grows."},
    {IDC_LISTENER_REFLECTIONS_DELAY_VALUE,
     "The Reflections Delay property is the amount of delay between the arrival of the direct-path sound "
     "and the arrival of the first reflection from the source. Longer delays make the walls sound farther "
     "away. Range 0.000 to 0.300 s; default 0.007 s (Generic). With \"Scale Reflections Delay\" checked it "
     "grows in proportion to the environment size."},
    {IDC_LISTENER_REVERB_VALUE,
     "Controls the overall amount of later reverberation relative to the Room property. The late "
     "reverberation is the dense tail that follows the initial reflections. Range -10000 to 2000 mB, where "
     "0 changes nothing and -10000 silences the tail; default 200 mB (Generic). With \"Scale Reverb\" "
     "checked the level falls as the environment grows."},
    {IDC_LISTENER_REVERB_DELAY_VALUE,
     "The Reverb Delay property defines the begin time of the late reverberation relative to the time of "
     "the initial reflection (the first of the early reflections). Range 0.000 to 0.100 s; default 0.011 s "
     "(Generic). With \"Scale Reverb Delay\" checked it grows in proportion to the environment size."},
    {IDC_LISTENER_ROOM_ROLLOFF_VALUE,
     "The Room Rolloff property is one of two methods available to attenuate the reflected sound "
     "(reflections and reverberation) according to the distance between source and listener; the other is "
     "each source's \"Automate Room\". It works like the DirectSound rolloff factor but on the reflected "
     "sound only: at 1.000 the reflected sound falls off with distance as the direct sound does at a "
     "rolloff factor of 1, at 0.000 it does not fall off at all. Range 0.000 to 10.000; default 0.000."},
    {IDC_LISTENER_AIR_ABSORPTION_HF_VALUE,
     "Controls the distance-dependent attenuation at high frequencies caused by the air the sound travels "
     "through, in hundredths of a decibel per meter at 5 kHz. It applies to the direct and the reflected "
     "sound, and each source multiplies it by its own Air Absorption factor. Lower values give damp or "
     "foggy air, 0 switches it off. Range -100.00 to 0.00 mB/m; default -5.00 mB/m. The fog of the DS3D "
     "positioning view follows it."},
    {IDC_LISTENER_ROLLOFF_FACTOR_VALUE,
     "Rolloff is the amount of attenuation that is applied to sounds, based on the listener's distance "
     "from the sound source. At 1.000 a sound loses 6 dB each time its distance beyond its minimum distance "
     "doubles, as in the real world; 2.000 doubles the effect and 0.000 switches distance attenuation off. "
     "It applies to all sources at once. Range 0.000 to 10.000; default 1.000."},
    {IDC_LISTENER_DISTANCE_FACTOR_VALUE,
     "The distance factor is the number of meters in a vector unit. It does not change how sound fades with "
     "distance; it converts positions into meters for the effects that depend on real distance, such as "
     "the Doppler shift and the EAX air absorption. The default is 1.00, so positions are in meters. The "
     "slider covers 0.00 to 100.00; DirectSound needs a factor above 0 and keeps its old one otherwise."},
    {IDC_LISTENER_DECAY_HF_LIMIT,
     "If this is checked, high-frequency decay time automatically stays below a limit value that's derived "
     "from the setting of the Air Absorption HF property: the highs never ring longer than the air would "
     "let them, whatever Decay HF Ratio asks for. The stored ratio is not changed. Checked by default and "
     "in most environments; Cave, Mountains, Parkinglot, Drugged, Dizzy and Psychotic clear it."},
    // Channel page.
    {IDC_VOICE_DIRECT_VALUE,
     "Applies a relative correction to this sound source's direct-path intensity. The direct path is the "
     "sound that travels straight from the source to the listener; this level adds to the source's volume "
     "and distance attenuation and leaves its reflected sound alone. Range -10000 to 1000 mB, where 0 "
     "changes nothing and -10000 silences the direct path; default 0 mB."},
    {IDC_VOICE_DIRECT_HF_VALUE,
     "Applies a relative correction to the high-frequency component of this sound source's direct-path "
     "sound, at 5 kHz. Negative values make the source sound muffled without touching its reflected sound. "
     "With \"Automate Direct HF\" checked it is an offset to the automatic filtering by the sound cone. "
     "Range -10000 to 0 mB; default 0 mB."},
    {IDC_VOICE_ROOM_VALUE,
     "The Room property is the volume control for reflected sound of this sound source: how much of it "
     "feeds the environment's reflections and reverberation, on top of the listener's Room level. With "
     "\"Automate Room\" checked it is an offset to the automatic attenuation by distance and by the sound "
     "cone. Range -10000 to 1000 mB, where 0 changes nothing and -10000 gives the source no reflected "
     "sound; default 0 mB."},
    {IDC_VOICE_ROOM_HF_VALUE,
     "Controls a low-pass filter that applies to the reflected sound added to this source. It attenuates "
     "the high frequencies (5 kHz) of the reflected sound only; the direct path stays as it is. With "
     "\"Automate Room HF\" checked it is an offset to the automatic attenuation by air absorption and the "
     "sound cone. Range -10000 to 0 mB; default 0 mB."},
    {IDC_VOICE_OBSTRUCTION_VALUE,
     "Specifies the amount of obstruction muffling: something between the source and the listener blocks "
     "the direct path, such as a pillar or a door frame, while the sound still reaches the room around it. "
     "The direct-path sound is attenuated at high frequencies by this amount; the reflected sound is not "
     "affected. Range -10000 to 0 mB, where 0 means no obstruction; default 0 mB."},
    {IDC_VOICE_OBSTRUCTION_LF_VALUE,
     "Affects the spectral quality of obstruction: the ratio of the low-frequency attenuation to the "
     "high-frequency attenuation set by Obstruction. At 0.000 only the high frequencies are muffled; at "
     "1.000 low and high frequencies are attenuated alike. Range 0.000 to 1.000; default 0.000."},
    {IDC_VOICE_OCCLUSION_VALUE,
     "Specifies the amount of occlusion muffling: the source is in another room and is heard through a "
     "wall, so its direct path and its reflected sound are both attenuated at high frequencies by this "
     "amount. Range -10000 to 0 mB, where 0 means no occlusion; default 0 mB."},
    {IDC_VOICE_OCCLUSION_LF_VALUE,
     "Affects the spectral quality of occlusion: the ratio of the low-frequency attenuation to the "
     "high-frequency attenuation set by Occlusion. At 0.000 only the highs are muffled; at 1.000 all "
     "frequencies are attenuated alike, as by a very thick wall. Range 0.000 to 1.000; default 0.250."},
    {IDC_VOICE_OCCLUSION_ROOM_VALUE,
     "Specifies the additional amount of occlusion attenuation applied to the reflected sound of this "
     "source, as a ratio of the Occlusion value: the sound that reaches the listener's room through the "
     "wall sounds thinner than the sound in its own room. Range 0.00 to 10.00; default 0.50."},
    {IDC_VOICE_ROOM_ROLLOFF_VALUE,
     "Room Rolloff applies only to this sound source: it is a rolloff factor for its reflected sound, added "
     "to the listener's Room Rolloff. At 0.00 the source's reflected sound does not fall off with distance; "
     "at 1.00 it falls off as its direct sound does at a rolloff factor of 1. Range 0.00 to 10.00; "
     "default 0.00."},
    {IDC_VOICE_AIR_ABSORPTION_VALUE,
     "It is a multiplier value for the air absorption value set on the listener (Air Absorption HF): 1.00 "
     "gives this source the environment's air absorption, 0.00 exempts it, and larger values make its high "
     "frequencies fade faster with distance than those of the other sources. Range 0.00 to 10.00; "
     "default 1.00."},
    {IDC_VOICE_OUTSIDE_VOLUME_HF_VALUE,
     "The Outside Volume HF property enhances DirectSound's directivity effect: outside the sound cone of "
     "this source its high frequencies (5 kHz) are attenuated by this additional amount, so a source that "
     "faces away sounds duller as well as quieter, as a real voice does. It works together with the cone's "
     "Outside Volume. Range -10000 to 0 mB; default 0 mB."},
    {IDC_VOICE_MIN_DISTANCE_VALUE,
     "The minimum distance that you set for a sound source is the distance at which it starts to get "
     "fainter as it moves away from the listener; nearer than that its level no longer grows. A loud source "
     "such as a jet wants a large minimum distance, a quiet one such as a bee a small one. In distance "
     "units (meters at a distance factor of 1); range 0.0 to 10000.0; default 1.0."},
    {IDC_VOICE_MAX_DISTANCE_VALUE,
     "The maximum distance for a sound source is the distance beyond which the sound does not get any "
     "quieter: farther away, it keeps the level it has there. In distance units (meters at a distance "
     "factor of 1); the value box shows thousands with \"k\" and millions with \"t\". Range 0.0 to "
     "1000000000.0; default 1000000000.0, which in practice means no limit."},
    {IDC_VOICE_INSIDE_ANGLE,
     "Sound cones are made up of an inside cone and an outside cone. Within the inside cone the sound is "
     "heard at its full volume; outside the outside cone it is heard at the Outside Volume. The inside "
     "angle is the full aperture of the inner cone in whole degrees, 0 to 360, no wider than the outside "
     "angle; default 360, which means no cone effect. The cones are shaped and turned in the DS3D "
     "positioning view."},
    {IDC_VOICE_OUTSIDE_ANGLE,
     "Between the inner and outer cones is a zone of transition, in which the volume moves from the full "
     "volume to the Outside Volume. The outside angle is the full aperture of the outer cone in whole "
     "degrees, 0 to 360, at least as wide as the inside angle; default 360. It is set in the DS3D "
     "positioning view."},
    {IDC_VOICE_OUTSIDE_VOLUME_VALUE,
     "The outside cone volume is expressed in hundredths of decibels (mB): the attenuation of the sound "
     "heard outside the outside cone, against its volume inside the inside cone. It acts only when the cone "
     "angles are below 360. Range -10000 to 0 mB, where 0 means no cone effect; DirectSound's default is "
     "0, and the plug-in's voices start at -5000 mB."},
    {IDC_VOICE_MODE_NORMAL,
     "In normal mode, the sound source is positioned and oriented absolutely, in world coordinates: it "
     "stays where it was placed while the listener moves and turns. This is DirectSound's default mode."},
    {IDC_VOICE_MODE_HR,
     "In head-relative mode, the 3D properties of the sound source (its position, velocity and cone "
     "orientation) are taken relative to the listener's position and orientation, so the source moves and "
     "turns with the listener as if it were carried on the listener's head. A source at (0, 0, 1) then "
     "stays straight ahead of the listener wherever the listener goes."},
    {IDC_VOICE_MODE_DISABLED,
     "Sound buffers have three processing modes. In disabled mode 3D processing is off: the source has no "
     "position, no distance attenuation and no cone, and it sounds as if it came from the center of the "
     "listener's head. Choose Normal or HR to place it in the room again."},
    {IDC_VOICE_AUTO_DIRECT_HF,
     "If this is checked, this sound source's direct-path sound is automatically filtered according to "
     "the source's orientation towards the listener and the Outside Volume HF of its sound cone, and Direct "
     "HF is an offset to that filtering. If it is clear, Direct HF alone sets the high-frequency level of "
     "the direct path. Checked by default."},
    {IDC_VOICE_AUTO_ROOM,
     "If this is checked, the intensity of this sound source's reflected sound is automatically attenuated "
     "according to the distance between source and listener and to its sound cone (Outside Volume), and "
     "the Room value is an offset to that. If it is clear, the Room value alone sets the reflected level. "
     "Checked by default."},
    {IDC_VOICE_AUTO_ROOM_HF,
     "If this is checked, the intensity of this sound source's reflected sound at high frequencies is "
     "automatically attenuated according to the distance between source and listener (air absorption) and "
     "the Outside Volume HF of its sound cone, and the Room HF value is an offset to that. If it is clear, "
     "Room HF alone sets it. Checked by default."},
};

}  // namespace

const int panel_help_ids[PANEL_HELP_COUNT] = {
    IDC_LISTENER_SIZE_VALUE,           IDC_LISTENER_DIFFUSION_VALUE,       IDC_LISTENER_ROOM_VALUE,
    IDC_LISTENER_ROOM_HF_VALUE,        IDC_LISTENER_DECAY_TIME_VALUE,      IDC_LISTENER_DECAY_HF_RATIO_VALUE,
    IDC_LISTENER_REFLECTIONS_VALUE,    IDC_LISTENER_REFLECTIONS_DELAY_VALUE, IDC_LISTENER_REVERB_VALUE,
    IDC_LISTENER_REVERB_DELAY_VALUE,   IDC_LISTENER_ROOM_ROLLOFF_VALUE,    IDC_LISTENER_AIR_ABSORPTION_HF_VALUE,
    IDC_LISTENER_ROLLOFF_FACTOR_VALUE, IDC_LISTENER_DISTANCE_FACTOR_VALUE, IDC_LISTENER_DECAY_HF_LIMIT,
    IDC_VOICE_DIRECT_VALUE,            IDC_VOICE_DIRECT_HF_VALUE,          IDC_VOICE_ROOM_VALUE,
    IDC_VOICE_ROOM_HF_VALUE,           IDC_VOICE_OBSTRUCTION_VALUE,        IDC_VOICE_OBSTRUCTION_LF_VALUE,
    IDC_VOICE_OCCLUSION_VALUE,         IDC_VOICE_OCCLUSION_LF_VALUE,       IDC_VOICE_OCCLUSION_ROOM_VALUE,
    IDC_VOICE_ROOM_ROLLOFF_VALUE,      IDC_VOICE_AIR_ABSORPTION_VALUE,     IDC_VOICE_OUTSIDE_VOLUME_HF_VALUE,
    IDC_VOICE_MIN_DISTANCE_VALUE,      IDC_VOICE_MAX_DISTANCE_VALUE,       IDC_VOICE_INSIDE_ANGLE,
    IDC_VOICE_OUTSIDE_ANGLE,           IDC_VOICE_OUTSIDE_VOLUME_VALUE,     IDC_VOICE_MODE_NORMAL,
    IDC_VOICE_MODE_HR,                 IDC_VOICE_MODE_DISABLED,            IDC_VOICE_AUTO_DIRECT_HF,
    IDC_VOICE_AUTO_ROOM,               IDC_VOICE_AUTO_ROOM_HF,
};

const char *panel_help_text(int id) {
  for (const HelpText &h : kHelp)
    if (h.id == id) return h.text;
  return nullptr;
}
