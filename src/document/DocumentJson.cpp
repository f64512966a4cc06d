#include "document/DocumentJson.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "document/FieldRules.h"
#include "document/RegisterCatalogue.h"

namespace tw {

namespace {

using Json = nlohmann::json;

struct TextKey {
    const char* key;
    std::string DocumentTexts::*member;
};

struct ColumnKey {
    const char* key;
    std::array<std::string, RegisterCount> DocumentTexts::*member;
};

// The keys in the struct's order, which is also the order they are written in.
constexpr TextKey TextKeys[] = {
    {"activeFile", &DocumentTexts::activeFile},     {"fileHeader", &DocumentTexts::fileHeader},
    {"figure", &DocumentTexts::figure},             {"startTime", &DocumentTexts::startTime},
    {"finishTime", &DocumentTexts::finishTime},     {"dKeyframe", &DocumentTexts::dKeyframe},
    {"framesPSec", &DocumentTexts::framesPSec},     {"acceleration", &DocumentTexts::acceleration},
    {"subHeader", &DocumentTexts::subHeader},
};

constexpr ColumnKey ColumnKeys[] = {
    {"names", &DocumentTexts::names},
    {"initial", &DocumentTexts::initial},
    {"final", &DocumentTexts::final},
};

std::string Quoted(const std::string& key) { return "\"" + key + "\""; }

// A column given as an object: each key a register's name in the catalogue,
// each value that register's text; the registers left out keep theirs.
Outcome<void> ReadNamedColumn(const std::string& key, const Json& value,
                              std::array<std::string, RegisterCount>& column) {
    const auto& catalogue = RegisterCatalogue();
    for (const auto& item : value.items()) {
        const auto* found = std::find_if(catalogue.begin(), catalogue.end(),
                                         [&](const RegisterInfo& info) { return info.name == item.key(); });
        if (found == catalogue.end())
            return Outcome<void>::Failure("The key " + Quoted(key) + " names no register " +
                                          Quoted(item.key()) + ".");
        if (!item.value().is_string())
            return Outcome<void>::Failure("The key " + Quoted(key) + " must hold strings; the value of " +
                                          Quoted(item.key()) + " is " + item.value().type_name() + ".");
        column[static_cast<std::size_t>(found - catalogue.begin())] = item.value().get<std::string>();
    }
    return Outcome<void>::Success();
}

Outcome<void> ReadColumn(const std::string& key, const Json& value, std::array<std::string, RegisterCount>& column) {
    if (value.is_object()) return ReadNamedColumn(key, value, column);
    const std::string wanted = "The key " + Quoted(key) + " must hold an array of " + std::to_string(RegisterCount) +
                               " strings";
    if (!value.is_array())
        return Outcome<void>::Failure(wanted + " or an object keyed by register name, not " +
                                      value.type_name() + ".");
    if (value.size() != column.size())
        return Outcome<void>::Failure(wanted + "; it holds " + std::to_string(value.size()) + " values.");
    for (std::size_t i = 0; i < column.size(); ++i) {
        if (!value[i].is_string())
            return Outcome<void>::Failure(wanted + "; value " + std::to_string(i) + " is " + value[i].type_name() +
                                          ".");
        column[i] = value[i].get<std::string>();
    }
    return Outcome<void>::Success();
}

}  // namespace

std::string DocumentToJson(const DocumentTexts& document) {
    // nlohmann keeps an object's keys sorted; the struct's order reads better,
    // so the text is put together key by key.
    std::string text = "{\n";
    const auto add = [&](const char* key, const Json& value, bool last) {
        text += "  ";
        text += Json(key).dump();
        text += ": ";
        text += value.dump(-1, ' ', false, Json::error_handler_t::replace);
        text += last ? "\n" : ",\n";
    };
    for (const TextKey& k : TextKeys) add(k.key, document.*k.member, false);
    for (const ColumnKey& k : ColumnKeys) add(k.key, document.*k.member, &k == std::end(ColumnKeys) - 1);
    text += "}\n";
    return text;
}

Outcome<DocumentTexts> DocumentFromJson(std::string_view json, DocumentTexts base) {
    Json object;
    try {
        object = Json::parse(json);
    } catch (const Json::parse_error& error) {
        return Outcome<DocumentTexts>::Failure(std::string("The document is not valid JSON: ") + error.what());
    }
    if (!object.is_object())
        return Outcome<DocumentTexts>::Failure(std::string("The document must be a JSON object, not ") +
                                               object.type_name() + ".");
    bool finishTimeGiven = false;
    // Plain names, not a structured binding: clang 14 lets no lambda capture one.
    for (const auto& item : object.items()) {
        const std::string& key = item.key();
        const Json& value = item.value();
        if (const auto* text = std::find_if(std::begin(TextKeys), std::end(TextKeys),
                                            [&](const TextKey& k) { return key == k.key; });
            text != std::end(TextKeys)) {
            if (!value.is_string())
                return Outcome<DocumentTexts>::Failure("The key " + Quoted(key) + " must hold a string, not " +
                                                       value.type_name() + ".");
            base.*text->member = value.get<std::string>();
            finishTimeGiven |= text->member == &DocumentTexts::finishTime;
            continue;
        }
        if (const auto* column = std::find_if(std::begin(ColumnKeys), std::end(ColumnKeys),
                                              [&](const ColumnKey& k) { return key == k.key; });
            column != std::end(ColumnKeys)) {
            Outcome<void> read = ReadColumn(key, value, base.*column->member);
            if (!read) return Outcome<DocumentTexts>::Failure(read.error());
            continue;
        }
        return Outcome<DocumentTexts>::Failure("The document has an unknown key " + Quoted(key) + ".");
    }
    if (!finishTimeGiven) base.finishTime = FinishTimeText(base.startTime, base.dKeyframe);
    return Outcome<DocumentTexts>::Success(std::move(base));
}

}  // namespace tw
