// The regions the recorder knows, in the order whose row number is the configuration file's
// CITY_INDEX and the position in the configurator's region list.
#pragma once

#include <QString>

#include <array>

struct RegionEntry {
    QString name;
    double offset = 0.0; // hours east of GMT, standard time
};

class CRegionTable
{
public:
    static constexpr int kSlots = 256;
    static constexpr int kFilledRows = 241;

    // Fills rows 0..240.
    CRegionTable();

    int Count() const { return m_nCount; }
    bool IsRow(int index) const { return index >= 0 && index < m_nCount; }
    // `index` must be a row (IsRow).
    const RegionEntry &Row(int index) const { return m_entries[static_cast<size_t>(index)]; }

private:
    std::array<RegionEntry, kSlots> m_entries;
    int m_nCount = 0;
};
