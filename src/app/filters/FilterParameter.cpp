#include "app/filters/FilterParameter.h"

namespace sorvel {

std::vector<FilterParameter> initializeFilterParameters() {
    return {
        {1, "曝光", -4, 4, 0, 0},
        {2, "对比度", 0, 2, 1, 0},
        {3, "饱和度", 0, 2, 1, 0},
        {4, "亮度", -1, 1, 0, 0},
        {5, "饱和度保持肤色", -1, 1, 0, 0},
        {6, "伽马", 0.5f, 2, 1, 0},
        {7, "色相", -35, 35, 0, 0},
        {8, "色温", 3000, 9000, 5500, 1},
        {9, "泛光强度", 0, 1, 0, 0},
        {10, "泛光半径", 0, 100, 0, 0},
        {11, "添加噪点", 0, 1, 0, 0},
        {12, "高饱和胶片", 0, 1, 0, 0},
        {13, "中饱和胶片", 0, 1, 0, 0},
        {14, "低饱和胶片", 0, 1, 0, 0},
        {15, "低对比黑白", 0, 1, 0, 0},
        {16, "中对比黑白", 0, 1, 0, 0},
        {17, "高饱和黑白", 0, 1, 0, 0},
        {18, "暖色胶片", 0, 1, 0, 0},
        {19, "暗角强度", 0, 4, 0, 0},
        {20, "高光", 0, 1, 1, 0},
        {21, "阴影", 0, 1, 0, 0},
        {22, "人物饱和度", 0, 2, 1, 0},
        {23, "环境饱和度", 0, 2, 1, 0},
        {24, "模糊", 0, 30, 0, 0},
        {25, "边缘检测", 0, 1, 0, 0},
    };
}

const std::vector<FilterParameter>& filterParameterCatalogue() {
    static const std::vector<FilterParameter> catalogue = initializeFilterParameters();
    return catalogue;
}

const FilterParameter* findFilterParameter(std::int64_t id) {
    for (const auto& p : filterParameterCatalogue())
        if (p.id == id) return &p;
    return nullptr;
}

}  // namespace sorvel
