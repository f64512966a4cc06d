#include "cli/BlockCommands.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CommandLine.h"
#include "cli/StartupDocument.h"
#include "document/CodePage.h"
#include "document/DocumentJson.h"
#include "session/FileEdits.h"

namespace tw {

std::string BlocksJson(const BlockIndex& index) {
    using Json = nlohmann::ordered_json;
    Json list = Json::array();
    for (std::size_t k = 0; k < index.blocks.size(); ++k) {
        const BlockEntry& block = index.blocks[k];
        Json registers = Json::array();
        for (const std::string& name : block.registers) registers.push_back(DecodeCodePage(name));
        list.push_back(Json{{"index", k + 1},
                            {"offset", block.offset},
                            {"length", block.length},
                            {"start", block.start},
                            {"finish", block.finish},
                            {"frames", block.frames},
                            {"framesPSec", block.framesPSec},
                            {"registers", std::move(registers)},
                            {"subHeader", DecodeCodePage(block.subHeader)}});
    }
    return list.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

BlockCommands::BlockCommands(CLI::App& app, ReadDocument read) : read_(std::move(read)) {
    blocks_ =
        app.add_subcommand("blocks", "Print the blocks of FILE as JSON, one object per block in file order");
    load_ = app.add_subcommand(
        "load-block", "Load block N of FILE as \"Load this block\" does (-1 the last); print the document");
    replace_ = app.add_subcommand(
        "replace-block",
        "Replace block N of FILE with the document's block, rippling the later blocks; print "
        "the new block's finish time");
    insert_ =
        app.add_subcommand("insert-block",
                           "Insert the document's block before block N of FILE, rippling it and the later "
                           "blocks; print the new block's finish time");
    remove_ = app.add_subcommand("remove-block", "Remove block N of FILE, rippling the later blocks back");
    for (CLI::App* command : {blocks_, load_, replace_, insert_, remove_}) {
        command->add_option("FILE", file_, "Hap file")->required();
        if (command == blocks_) continue;
        command->add_option("N", number_, "The block's number: 1 the first, -1 the last")->required();
    }
    for (CLI::App* command : {replace_, insert_})
        command->add_option("DOC.json", document_, "The document as JSON (- for standard input)")->required();
    load_->add_option("--document", document_, "Start from this JSON document, not the start-up one")
        ->option_text("DOC.json");
}

std::optional<int> BlockCommands::Run(std::ostream& out, std::ostream& err) const {
    if (blocks_->parsed()) return Blocks(out, err);
    if (load_->parsed()) return Load(out, err);
    for (CLI::App* command : {replace_, insert_, remove_})
        if (command->parsed()) return Edit(command, out, err);
    return std::nullopt;
}

int BlockCommands::Blocks(std::ostream& out, std::ostream& err) const {
    const Outcome<BlockIndex> index = IndexFile(file_);
    if (!index) return Fail(err, index.error());
    out << BlocksJson(index.value());
    return Done(out, err);
}

int BlockCommands::Load(std::ostream& out, std::ostream& err) const {
    Outcome<DocumentTexts> document =
        document_.empty() ? Outcome<DocumentTexts>::Success(StartupDocument()) : read_(document_);
    if (!document) return Fail(err, document.error());
    const Outcome<LoadedDocument> loaded = LoadBlockInto(file_, number_, std::move(document).value());
    if (!loaded) return Fail(err, loaded.error());
    for (const std::string& message : loaded.value().messages) err << message << '\n';
    out << DocumentToJson(loaded.value().document);
    return Done(out, err);
}

int BlockCommands::Edit(CLI::App* command, std::ostream& out, std::ostream& err) const {
    if (command == remove_) {
        const Outcome<BlockEdit> removed = RemoveBlock(file_, number_);
        if (!removed) return Fail(err, removed.error());
        return Done(out, err);
    }
    const Outcome<DocumentTexts> document = read_(document_);
    if (!document) return Fail(err, document.error());
    const Outcome<BlockEdit> edit = command == replace_ ? ReplaceBlock(file_, number_, document.value())
                                                        : InsertBlockBefore(file_, number_, document.value());
    if (!edit) return Fail(err, edit.error());
    // The block's finish time as the file holds it: its last clock time.
    out << edit.value().finish << '\n';
    return Done(out, err);
}

}  // namespace tw
