#pragma once
#include <cstdint>

// The 20 sampling frequencies the user may choose as the device's maximum, index 0 the highest.
// The rate combo box lists them the other way round: combo selection s is index 19 - s.
class RateTable
{
public:
    static constexpr uint32_t COUNT = 20;
    // Index of the initial maximum, 96 kHz.
    static constexpr uint32_t DEFAULT_INDEX = 8;

    static constexpr double KHZ[COUNT] = {384.0, 352.8, 308.7, 288.0, 264.6, 220.5, 192.0, 176.4,  96.0, 88.2,
                                          48.0,  44.1,  32.0,  24.0,  22.05, 16.0,  12.0,  11.025, 9.6,  8.0};
    // What the combo box shows for each index.
    static constexpr const char16_t* TEXTS[COUNT] = {
        u"384 kHz",   u"352.8 kHz", u"308.7 kHz", u"288.0 kHz",  u"264.6 kHz", u"220.5 kHz", u"192 kHz",
        u"176.4 kHz", u"96 kHz",    u"88.2 kHz",  u"48 kHz",     u"44.1 kHz",  u"32 kHz",    u"24 kHz",
        u"22.05 kHz", u"16 kHz",    u"12 kHz",    u"11.025 kHz", u"9.6 kHz",   u"8 kHz"};

    // The entry in Hz as the controller keeps it: the unrounded product with 1000.
    static constexpr double Frequency(uint32_t uiIndex) { return KHZ[uiIndex] * 1000.0; }
    // The entry in Hz as the device is asked for it: rounded to the nearest integer, halves up.
    static uint32_t Hz(uint32_t uiIndex);
    // Combo selection of an index, and back.
    static constexpr uint32_t ComboSelection(uint32_t uiIndex) { return COUNT - 1 - uiIndex; }
    static constexpr uint32_t IndexOfSelection(uint32_t uiSelection) { return COUNT - 1 - uiSelection; }
};
