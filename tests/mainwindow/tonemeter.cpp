// Tone measurement of recorded sound.
#include "tonemeter.h"

#include <algorithm>
#include <cmath>

namespace {

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

CToneMeter::CToneMeter(int nRate, double dHz, int nBlockSamples)
    : m_nRate(nRate), m_dHz(dHz), m_nBlock(nBlockSamples)
{
}

double CToneMeter::ToneAmplitude(const int16_t *pSamples, int n, double dHz, int nRate)
{
    if (n <= 0)
        return 0;
    const double dCoeff = 2.0 * std::cos(2.0 * M_PI * dHz / nRate);
    double s1 = 0;
    double s2 = 0;
    for (int i = 0; i < n; ++i) {
        const double s = pSamples[i] + dCoeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double dPower = std::max(0.0, s1 * s1 + s2 * s2 - dCoeff * s1 * s2);
    return 2.0 * std::sqrt(dPower) / n;
}

double CToneMeter::Rms(const int16_t *pSamples, int n)
{
    if (n <= 0)
        return 0;
    double dSum = 0;
    for (int i = 0; i < n; ++i)
        dSum += double(pSamples[i]) * pSamples[i];
    return std::sqrt(dSum / n);
}

std::vector<tagTONEBLOCK> CToneMeter::Measure(const std::vector<int16_t> &samples) const
{
    std::vector<tagTONEBLOCK> blocks;
    for (size_t i = 0; i + static_cast<size_t>(m_nBlock) <= samples.size();
         i += static_cast<size_t>(m_nBlock)) {
        tagTONEBLOCK block;
        block.dStart = static_cast<double>(i) / m_nRate;
        block.dTone = ToneAmplitude(samples.data() + i, m_nBlock, m_dHz, m_nRate);
        block.dRms = Rms(samples.data() + i, m_nBlock);
        // A sine of amplitude A carries A^2 / 2 of power.
        block.dPurity =
            block.dRms > 0 ? std::min(1.0, block.dTone * block.dTone / 2 / (block.dRms * block.dRms)) : 0;
        blocks.push_back(block);
    }
    return blocks;
}

std::vector<tagTONELEVEL> CToneMeter::Levels(const std::vector<tagTONEBLOCK> &blocks, double dTolerance,
                                             double dSilence, int nMinBlocks)
{
    std::vector<tagTONELEVEL> levels;
    const double dBlockLength = blocks.size() > 1 ? blocks[1].dStart - blocks[0].dStart : 0;
    auto same = [&](double dReference, double dValue) {
        if (dReference < dSilence || dValue < dSilence)
            return dReference < dSilence && dValue < dSilence;
        return std::abs(dValue - dReference) <= dTolerance * dReference;
    };
    size_t first = 0;
    while (first < blocks.size()) {
        size_t end = first + 1;
        while (end < blocks.size() && same(blocks[first].dTone, blocks[end].dTone))
            ++end;
        if (end - first >= static_cast<size_t>(nMinBlocks)) {
            tagTONELEVEL level;
            level.dStart = blocks[first].dStart;
            level.dLength = static_cast<double>(end - first) * dBlockLength;
            std::vector<double> tones;
            std::vector<double> rms;
            level.dPurity = 1.0;
            for (size_t i = first; i < end; ++i) {
                tones.push_back(blocks[i].dTone);
                rms.push_back(blocks[i].dRms);
                level.dPurity = std::min(level.dPurity, blocks[i].dPurity);
            }
            level.dTone = Median(tones);
            level.dRms = Median(rms);
            levels.push_back(level);
        }
        first = end;
    }
    return levels;
}
