#include "core/documents/OrderLines.h"

#include "core/db/Text.h"

namespace velmorant {

Money LineQuantity(const TDocLine& line) { return TextToMoney(line.G_WT, 0); }

Money LinePrice(const TDocLine& line, bool useSums) {
    return useSums ? CentsToMoney(line.PriceCents) : kNoPrice;
}

void SetLineQuantity(TDocLine& line, Money quantity, bool useSums) {
    line.G_WT = MoneyToText(quantity, 2, true);
    if (useSums) {
        line.Sum = MoneyToText(MoneyMul(quantity, LinePrice(line, true)), 2, true);
    }
}

std::string PickerPreset(const std::vector<TDocLine>& lines) {
    std::string preset;
    for (const TDocLine& line : lines) {
        if (LineQuantity(line) == 0) continue;
        preset += line.G_GUID + '\t' + line.G_WT + "\r\n";
    }
    return preset;
}

std::vector<TDocLine> LinesFromPicker(const std::vector<std::string>& result, bool useSums) {
    std::vector<TDocLine> lines;
    for (const std::string& raw : result) {
        std::string rest = Trim(raw);
        if (rest.find('\t') == std::string::npos) continue;
        std::vector<std::string> fields;
        while (fields.size() < 5 && !rest.empty()) {
            const std::size_t tab = rest.find('\t');
            if (tab == std::string::npos || fields.size() == 4) {
                fields.push_back(Trim(rest));
                rest.clear();
            } else {
                fields.push_back(Trim(std::string_view(rest).substr(0, tab)));
                rest.erase(0, tab + 1);
            }
        }
        fields.resize(5);
        TDocLine line;
        line.G_GUID = fields[0];
        line.G_WT = fields[1];
        line.G_NAME = fields[2];
        line.PriceCents = MoneyToCents(TextToMoney(fields[3], 0));
        if (useSums) line.Sum = fields[4];
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string ClientInfoForDisplay(const std::string& info) {
    std::string out;
    for (char c : Trim(info)) {
        if (c == '|') {
            out += '\n';
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace velmorant
