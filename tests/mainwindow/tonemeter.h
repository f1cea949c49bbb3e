// Measures a recorded sine: per block of samples, the amplitude at the tone's frequency (a
// Goertzel filter) and how much of the block's power is the tone; and the stretches where that
// amplitude holds still (each setting of the volume the listener heard).
#pragma once

#include <cstdint>
#include <vector>

// One block of the recording.
struct tagTONEBLOCK {
    double dStart = 0;  // seconds into the recording
    double dTone = 0;   // amplitude of the tone (sample units, 32767 = full scale)
    double dRms = 0;    // RMS of the whole block
    double dPurity = 0; // share of the block's power at the tone's frequency, 0 to 1
};

// A stretch of blocks whose tone amplitude holds still.
struct tagTONELEVEL {
    double dStart = 0; // seconds into the recording
    double dLength = 0;
    double dTone = 0;   // median tone amplitude
    double dRms = 0;    // median RMS
    double dPurity = 0; // lowest purity of its blocks
};

class CToneMeter
{
public:
    CToneMeter(int nRate, double dHz, int nBlockSamples);

    std::vector<tagTONEBLOCK> Measure(const std::vector<int16_t> &samples) const;

    // Stretches of at least nMinBlocks blocks whose amplitudes stay within dTolerance (relative)
    // of the stretch's first block; amplitudes under dSilence count as one level, silence. A
    // block in which the level changes belongs to no stretch.
    static std::vector<tagTONELEVEL> Levels(const std::vector<tagTONEBLOCK> &blocks, double dTolerance,
                                            double dSilence, int nMinBlocks);

    // Amplitude of the component at dHz in n samples (Goertzel).
    static double ToneAmplitude(const int16_t *pSamples, int n, double dHz, int nRate);
    static double Rms(const int16_t *pSamples, int n);

private:
    int m_nRate;
    double m_dHz;
    int m_nBlock;
};
