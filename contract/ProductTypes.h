/// The signal conditioners' product types the plugin drives, each with the
/// value its trigger input reads when it marks the capture's start and the
/// acquisition rates it cannot run at. Detection keeps to it, and so does the
/// development host when it works out which rates a bench supports.
#pragma once

#include "StandardRates.h"

#include <algorithm>
#include <vector>

namespace ZORVA {

struct ProductType
{
    int code;
    int triggerMarker;
    std::vector<unsigned int> excludedRates; ///< datasets per second

    /// False for a rate among its excluded ones.
    bool Runs(unsigned int rate) const
    {
        return std::find(excludedRates.begin(), excludedRates.end(), rate) == excludedRates.end();
    }
};

inline const std::vector<ProductType>& ProductTypes()
{
    static const std::vector<ProductType> types = {
        {100, 1, {}},
        {300, 1, {2000, 1800, 1500}},
        {400, 0, {2000, 1800, 1500, 1200, 900, 800, 450, 400, 360, 240, 225, 180, 90, 80, 75, 45, 40, 20}},
    };
    return types;
}

/// The row of a product type, or null for one the plugin does not drive.
inline const ProductType* FindProductType(int code)
{
    for (const ProductType& type : ProductTypes()) {
        if (type.code == code)
            return &type;
    }
    return nullptr;
}

/// The standard rates, descending, that every unit of these product types
/// can run at; unsupported types exclude nothing (the plugin skips them).
inline std::vector<unsigned int> SupportedRates(const std::vector<int>& productTypes)
{
    std::vector<unsigned int> rates(StandardRates, StandardRates + StandardRateCount);
    for (int code : productTypes) {
        const ProductType* type = FindProductType(code);
        if (!type)
            continue;
        rates.erase(std::remove_if(rates.begin(), rates.end(), [type](unsigned int rate) { return !type->Runs(rate); }),
                    rates.end());
    }
    return rates;
}

} // namespace ZORVA
