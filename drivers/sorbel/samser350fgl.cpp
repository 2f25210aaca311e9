#include "drivers/sorbel/samser350fgl.h"

namespace tolver {
namespace {

constexpr const char* kProgramItems = "Время;Информация на чеке;Системные режимы;Количество дробных знаков;Отделы;Артикулы;Ставки НДС;";
constexpr const char* kReportItems = "Финансовый дневной;Общий по артикулам;Кассиров;Почасовый;";

constexpr TSamsER350FVersion kVersions[kSamsER350FVersionCount] = {
    {"Версия 03 (<КОНТРОЛЬНА СУМА> <b1c1>)", 8, 250, 4, 4, 0, 12, 3, 5, 0, 26, kProgramItems, kReportItems, kReportItems,
     {"1 строка", "1 строка", "2 строки", "3 строки", ""}},
    {"Версия 04 (ER-350F STU-04 К.С. <b15e>)", 8, 250, 4, 8, 0, 12, 3, 5, 0, 26, kProgramItems, kReportItems, kReportItems,
     {"Ничего", "Конец чека", "Конец чека", "Конец строки", "Все (обязательный режим)"}},
    {"Версия 05 (ER-350F STU-05 К.С. <5a26>)", 8, 900, 4, 9, 0, 12, 3, 5, 0, 26, kProgramItems, kReportItems, kReportItems,
     {"Ничего", "Конец чека", "Конец чека", "Конец строки", "Все (обязательный режим)"}},
    {"Версия 05.1 (ER-350F STU-05 К.С. <a333>)", 8, 900, 4, 10, 0, 12, 3, 5, 0, 26, kProgramItems, kReportItems, kReportItems,
     {"Ничего", "Конец чека", "Конец чека", "Конец строки", "Все (обязательный режим)"}},
};

}  // namespace

const TSamsER350FVersion* SamsER350FVersion(int model) {
    return model >= 0 && model < kSamsER350FVersionCount ? &kVersions[model] : nullptr;
}

}  // namespace tolver
