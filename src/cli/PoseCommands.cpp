#include "cli/PoseCommands.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CommandLine.h"
#include "document/DocumentJson.h"
#include "session/PoseTools.h"

namespace tw {

namespace {

std::optional<KeyframeSide> KeyframeSideNamed(const std::string& name) {
    if (name == "initial") return KeyframeSide::Initial;
    if (name == "final") return KeyframeSide::Final;
    return std::nullopt;
}

}  // namespace

PoseCommands::PoseCommands(CLI::App& app, ReadDocument read) : read_(std::move(read)) {
    mirror_ = app.add_subcommand("mirror", "Print the document with a column mirrored left for right");
    mirror_->add_option("DOC.json", document_, "The document as JSON (- for standard input)")->required();
    mirror_->add_option("--side", side_, "Which column: initial, final, both (the default) or initial-to-final")
        ->check(CLI::IsMember({"initial", "final", "both", "initial-to-final"}));

    CLI::App* pose = app.add_subcommand("pose", "Work the library of saved poses");
    pose->require_subcommand(1);
    save_ = pose->add_subcommand("save", "Keep a column of the document as the pose NAME");
    save_->add_option("NAME", name_, "The pose's name")->required();
    save_->add_option("DOC.json", document_, "The document as JSON (- for standard input)")->required();
    save_->add_flag("--replace", replace_, "Replace a pose of that name");
    list_ = pose->add_subcommand("list", "Print the saved poses as JSON");
    apply_ = pose->add_subcommand("apply", "Print the document with the pose NAME written into a column");
    apply_->add_option("NAME", name_, "The pose's name")->required();
    apply_->add_option("DOC.json", document_, "The document as JSON (- for standard input)")->required();
    for (CLI::App* command : {save_, apply_})
        command->add_option("--side", poseSide_, "Which column: initial (the default) or final")
            ->check(CLI::IsMember({"initial", "final"}));
}

std::optional<int> PoseCommands::Run(std::ostream& out, std::ostream& err) const {
    if (mirror_->parsed()) return Mirror(out, err);
    if (save_->parsed()) return Save(out, err);
    if (list_->parsed()) return List(out, err);
    if (apply_->parsed()) return Apply(out, err);
    return std::nullopt;
}

int PoseCommands::Mirror(std::ostream& out, std::ostream& err) const {
    Outcome<DocumentTexts> document = read_(document_);
    if (!document) return Fail(err, document.error());
    ApplyMirror(document.value(), *MirrorSideNamed(side_));
    out << DocumentToJson(document.value());
    return Done(out, err);
}

int PoseCommands::Save(std::ostream& out, std::ostream& err) const {
    Outcome<DocumentTexts> document = read_(document_);
    if (!document) return Fail(err, document.error());
    const Outcome<PoseLibrary> library = PoseLibrary::Open();
    if (!library) return Fail(err, library.error());
    if (const auto fault = PoseLibrary::NameFault(name_)) return Fail(err, *fault);
    if (!replace_ && library.value().Has(name_))
        return Fail(err, "A pose named \"" + name_ + "\" is kept already; --replace replaces it.");
    const Outcome<void> saved = library.value().Save(name_, document.value(), *KeyframeSideNamed(poseSide_));
    if (!saved) return Fail(err, saved.error());
    out << library.value().PathOf(name_) << '\n';
    return Done(out, err);
}

int PoseCommands::List(std::ostream& out, std::ostream& err) const {
    const Outcome<PoseLibrary> library = PoseLibrary::Open();
    if (!library) return Fail(err, library.error());
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const std::string& name : library.value().Names()) {
        const SavedPose pose = library.value().Read(name);
        nlohmann::ordered_json entry{{"name", pose.name}, {"path", pose.path}, {"usable", pose.usable}};
        if (!pose.usable) entry["reason"] = pose.reason;
        list.push_back(std::move(entry));
    }
    // Names are any bytes a file name may hold: shown, not refused.
    out << list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    return Done(out, err);
}

int PoseCommands::Apply(std::ostream& out, std::ostream& err) const {
    Outcome<DocumentTexts> document = read_(document_);
    if (!document) return Fail(err, document.error());
    const Outcome<PoseLibrary> library = PoseLibrary::Open();
    if (!library) return Fail(err, library.error());
    const Outcome<void> applied = library.value().Apply(name_, document.value(), *KeyframeSideNamed(poseSide_));
    if (!applied) return Fail(err, applied.error());
    out << DocumentToJson(document.value());
    return Done(out, err);
}

}  // namespace tw
