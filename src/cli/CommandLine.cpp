#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <iterator>

#include "cli/BlockCommands.h"
#include "cli/CaughtStops.h"
#include "cli/PoseCommands.h"
#include "cli/RepairCommand.h"
#include "cli/StartupDocument.h"
#include "document/DocumentJson.h"
#include "reading/FileBytes.h"
#include "session/ScriptCommands.h"

namespace tw {

namespace {

constexpr const char* Description =
    "Tweenwright writes keyframe animations (hap scripts) for a 3D talking character.\n"
    "Without a subcommand it opens its window, on FILE as the active file when one is given.";

// A document is a few kilobytes; far larger is not one.
constexpr std::uint64_t MaxDocumentBytes = std::uint64_t{64} << 20;

// Standard input up to MaxDocumentBytes; a longer stream is refused as soon
// as it passes that, so an endless one ends the reading too.
Outcome<std::string> ReadStandardInput() {
    std::string text;
    char chunk[1 << 16];
    while (std::cin.read(chunk, sizeof chunk) || std::cin.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(std::cin.gcount()));
        if (text.size() > MaxDocumentBytes)
            return Outcome<std::string>::Failure("The document on standard input is larger than " +
                                                 std::to_string(MaxDocumentBytes >> 20) + " MB.");
    }
    if (std::cin.bad())
        return Outcome<std::string>::Failure("The document could not be read from standard input.");
    return Outcome<std::string>::Success(std::move(text));
}

// The document in the JSON file at `path` ("-" for standard input), over the
// start-up document.
Outcome<DocumentTexts> ReadDocumentFile(const std::string& path) {
    if (path == "-") {
        const Outcome<std::string> text = ReadStandardInput();
        if (!text) return Outcome<DocumentTexts>::Failure(text.error());
        return DocumentFromJson(text.value(), StartupDocument());
    }
    const Outcome<std::string> bytes = ReadWholeFile(path, MaxDocumentBytes);
    if (!bytes) return Outcome<DocumentTexts>::Failure(bytes.error());
    Outcome<DocumentTexts> document = DocumentFromJson(bytes.value(), StartupDocument());
    if (!document) return Outcome<DocumentTexts>::Failure(path + ": " + document.error());
    return document;
}

struct GenerateArgs {
    std::string document;
    std::string append;
    bool clipboardText = false;
    double waitSeconds = 10;  // for another writer's lock on the file
};

// F5 ("Generate && add to file") or "Generate to Clipboard" on the document.
int Generate(const GenerateArgs& args, std::ostream& out, std::ostream& err) {
    Outcome<DocumentTexts> document = ReadDocumentFile(args.document);
    if (!document) return Fail(err, document.error());
    if (args.clipboardText) {
        const Outcome<DocumentRun> run = GenerateAsText(document.value());
        if (!run) return Fail(err, run.error());
        const std::string& text = run.value().block.text;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    } else {
        if (!args.append.empty()) document.value().activeFile = args.append;
        // Rounded: 0.3 s is 300 ms, where cutting 0.3 × 1000 would give 299.
        const auto wait = std::chrono::milliseconds(std::llround(args.waitSeconds * 1000));
        // A stop request lets the run finish what it holds: the record is
        // written whole and reported, or not written at all.
        const CaughtStops stops;
        const Outcome<DocumentRun> run =
            GenerateOntoFile(document.value(), wait, [] { return CaughtStops::Caught() != 0; });
        if (!run) return Fail(err, run.error());
        out << run.value().nextStartTime << '\n';
        if (const int stop = CaughtStops::Caught(); stop != 0)
            err << "Stopped by " << CaughtStops::Name(stop) << " after the animation was added.\n";
    }
    out.flush();
    return out ? ExitSuccess : Fail(err, "The output could not be written.");
}

struct LoadLastArgs {
    std::string file;
    std::string document;
};

// "Load last animation from file" with FILE as the active file.
int LoadLast(const LoadLastArgs& args, std::ostream& out, std::ostream& err) {
    Outcome<DocumentTexts> document = args.document.empty()
                                          ? Outcome<DocumentTexts>::Success(StartupDocument())
                                          : ReadDocumentFile(args.document);
    if (!document) return Fail(err, document.error());
    const Outcome<LoadedDocument> loaded = LoadLastInto(args.file, std::move(document).value());
    if (!loaded) return Fail(err, loaded.error());
    for (const std::string& message : loaded.value().messages) err << message << '\n';
    out << DocumentToJson(loaded.value().document);
    out.flush();
    return out ? ExitSuccess : Fail(err, "The output could not be written.");
}

}  // namespace

CommandLine RunCommandLineWith(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                               const AddSubcommand& more) {
    CLI::App app{Description, "tweenwright"};
    app.set_version_flag("--version", "tweenwright " TW_VERSION, "Show the version and exit");
    std::string file;
    app.add_option("FILE", file, "Hap file to open in the window as the active file");

    std::string speech;
    double speechOffset = 0;
    CLI::Option* speechOption =
        app.add_option("--speech", speech, "Play AUDIO as FILE's speech track, under the view's timeline")
            ->option_text("AUDIO");
    app.add_option("--speech-offset", speechOffset, "The script time in seconds at which the speech starts")
        ->option_text("S")
        ->check(CLI::Range(-86400.0, 86400.0))
        ->needs(speechOption);
    GenerateArgs generateArgs;
    CLI::App* generate = app.add_subcommand(
        "generate",
        "Generate the document's block as \"Generate & add to file (F5)\" does; print the new start time");
    generate->add_option("DOC.json", generateArgs.document, "The document as JSON (- for standard input)")
        ->required();
    CLI::Option* append = generate->add_option("--append", generateArgs.append,
                                               "Append to FILE instead of the document's activeFile");
    append->option_text("FILE");
    generate
        ->add_flag("--clipboard-text", generateArgs.clipboardText,
                   "Write the text \"Generate to Clipboard\" copies to standard output instead")
        ->excludes(append);
    generate
        ->add_option("--wait", generateArgs.waitSeconds,
                     "Wait up to SECONDS for another program writing the file (default 10)")
        ->option_text("SECONDS")
        ->check(CLI::Range(0.0, 86400.0));

    LoadLastArgs loadArgs;
    CLI::App* loadLast = app.add_subcommand(
        "load-last",
        "Load the last block of FILE as \"Load last animation from file\" does; print the document");
    loadLast->add_option("FILE", loadArgs.file, "Hap file to read")->required();
    loadLast
        ->add_option("--document", loadArgs.document, "Start from this JSON document, not the start-up one")
        ->option_text("DOC.json");
    const PoseCommands poses(app, ReadDocumentFile);
    const BlockCommands blocks(app, ReadDocumentFile);
    const RepairCommand repair(app);
    const std::unique_ptr<Subcommand> added = more ? more(app) : nullptr;
    app.require_subcommand(0, 1);
    if (!more) {
        const auto named = [&](CLI::App* sub) { return argc > 1 && sub->check_name(argv[1]); };
        if (app.get_subcommands(named).empty()) return {};
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {  // --help or --version
        return {app.exit(done, out, err), {}};
    } catch (const CLI::ParseError& wrong) {
        err << "tweenwright: " << wrong.what() << "\nRun 'tweenwright --help' for the usage.\n";
        return {ExitUsage, {}};
    }
    if (generate->parsed()) {
        // An empty file name would leave the document's own file in place.
        if (append->count() > 0 && generateArgs.append.empty()) {
            err << "tweenwright: --append needs a file name, not an empty text.\nRun 'tweenwright --help' "
                   "for the "
                   "usage.\n";
            return {ExitUsage, {}};
        }
        return {Generate(generateArgs, out, err), {}};
    }
    if (loadLast->parsed()) return {LoadLast(loadArgs, out, err), {}};
    if (const std::optional<int> status = poses.Run(out, err)) return {status, {}};
    if (const std::optional<int> status = blocks.Run(out, err)) return {status, {}};
    if (added)
        if (const std::optional<int> status = added->Run(out, err)) return {status, {}};
    if (const std::optional<int> status = repair.Run(out, err)) return {status, {}};
    if (file.empty()) {
        if (speechOption->count() == 0) return {};
        err << "tweenwright: --speech needs a FILE for the window to open\nRun 'tweenwright --help' for the "
               "usage.\n";
        return {ExitUsage, {}};
    }
    CommandLine window{std::nullopt, file};
    if (speechOption->count() > 0) window.speech = speech;
    window.speechOffset = speechOffset;
    return window;
}

}  // namespace tw
