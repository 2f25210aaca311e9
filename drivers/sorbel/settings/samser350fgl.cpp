#include "drivers/sorbel/settings/samser350fgl.h"

#include <array>

namespace tolver {
namespace {

constexpr const char* kProgramItems = "Время;Информация на чеке;Системные режимы;Количество дробных знаков;Отделы;Артикулы;Ставки НДС;";
constexpr const char* kReportItems = "Финансовый дневной;Общий по артикулам;Кассиров;Почасовый;";

TCashDriverConstraints Row(const char* name, int maxArt, int maxOp, std::array<std::string, 5> choices) {
    TCashDriverConstraints c;
    c.VersionName = name;
    c.MaxDep = 8;
    c.MaxArt = maxArt;
    c.MaxTax = 4;
    c.MaxOp = maxOp;
    c.Reserved1 = 0;
    c.NameLength = 12;
    c.Reserved2 = 3;
    c.HeaderLines = 5;
    c.FooterLines = 0;
    c.MsgLineWidth = 26;
    c.ProgramItems = kProgramItems;
    c.XReportItems = kReportItems;
    c.ZReportItems = kReportItems;
    c.ModeChoices = std::move(choices);
    return c;
}

}  // namespace

const TCashDriverConstraints* SamsER350FVersion(int model) {
    static const std::array<TCashDriverConstraints, kSamsER350FVersionCount> kVersions = {
        Row("Версия 03 (<КОНТРОЛЬНА СУМА> <b1c1>)", 250, 4,
            {"1 строка", "1 строка", "2 строки", "3 строки", ""}),
        Row("Версия 04 (ER-350F STU-04 К.С. <b15e>)", 250, 8,
            {"Ничего", "Конец чека", "Конец чека", "Конец строки", "Все (обязательный режим)"}),
        Row("Версия 05 (ER-350F STU-05 К.С. <5a26>)", 900, 9,
            {"Ничего", "Конец чека", "Конец чека", "Конец строки", "Все (обязательный режим)"}),
        Row("Версия 05.1 (ER-350F STU-05 К.С. <a333>)", 900, 10,
            {"Ничего", "Конец чека", "Конец чека", "Конец строки", "Все (обязательный режим)"}),
    };
    return model >= 0 && model < kSamsER350FVersionCount ? &kVersions[static_cast<std::size_t>(model)] : nullptr;
}

}  // namespace tolver
