#include "clicommand.h"

#include <exception>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "batchrunner.h"
#include "cliplatform.h"
#include "clioptions.h"
#include "clisetup.h"
#include "fileinfo.h"
#include "langstr.h"
#include "pglibrary.h"
#include "progressdisplay.h"
#include "quilletversion.h"
#include "settings.h"
#include "settingsstore.h"
#include "systemerror.h"

namespace {

bool German(int32_t language) { return language == LanguageGerman; }

void ReportUsage(const ECliUsage& e, std::ostream& err) { err << "quillet-cli: " << e.what() << '\n' << e.Hint() << '\n'; }

int DescribeFiles(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
  int status = ExitSuccess;
  bool first = true;
  for (const std::string& file : files) {
    std::ostringstream record;
    std::string error;
    if (WriteFileInfo(file, record, error)) {
      out << (first ? "" : "\n") << record.str();
      first = false;
    } else {
      out << std::flush;
      err << "quillet-cli: " << file << ": " << error << '\n';
      status = ExitPictureFailed;
    }
  }
  return status;
}

// DIR/<name>.EXT for each input; two inputs that would write the same file
// are refused before anything is written.
std::vector<TBatchItem> BatchItems(const TCliOptions& o) {
  std::vector<TBatchItem> items;
  std::map<std::filesystem::path, std::string> taken;
  for (const std::string& input : o.Inputs) {
    const std::filesystem::path output =
        std::filesystem::path(o.OutputDir) / std::filesystem::path(input).stem().concat("." + o.Format);
    const auto [at, fresh] = taken.emplace(output.lexically_normal(), input);
    if (!fresh)
      throw ECliUsage(German(Language) ? input + " und " + at->second + " ergäben beide " + output.string()
                                       : input + " and " + at->second + " would both be saved as " + output.string(),
                      German(Language) ? "Gleichnamige Bilder in getrennten Aufrufen verkleinern."
                                       : "Shrink pictures of the same name in separate runs.");
    items.push_back({input, output.string()});
  }
  return items;
}

std::string BatchSummary(size_t pictures, size_t failed, size_t warned) {
  const std::string saved = std::to_string(pictures - failed), all = std::to_string(pictures);
  if (German(Language))
    return "quillet-cli: " + saved + " von " + all + " Bildern gespeichert, davon " + std::to_string(warned) +
           " mit Warnungen beim Lesen; " + std::to_string(failed) + " fehlgeschlagen\n";
  return "quillet-cli: " + saved + " of " + all + " pictures saved, " + std::to_string(warned) +
         " of them with warnings while reading; " + std::to_string(failed) + " failed\n";
}

int Shrink(const TCliOptions& o, std::ostream& err, bool errIsTerminal) {
  std::vector<TBatchItem> items;
  if (o.Mode == cmSingle) {
    items.push_back({o.Inputs[0], o.Output});
  } else {
    items = BatchItems(o);
    std::error_code ec;
    std::filesystem::create_directories(o.OutputDir, ec);
    if (!std::filesystem::is_directory(o.OutputDir)) {
      const std::string what = German(Language) ? "Anlegen des Verzeichnisses" : "Creating the directory";
      err << "quillet-cli: " << o.OutputDir << ": " << LangStr1(31, what)
          << (ec ? ": " + SystemErrorText(ec.value()) : std::string()) << '\n';
      return ExitPictureFailed;
    }
  }
  const TCliJobSettings settings = CliJobSettings(o);
  const unsigned jobs = o.Jobs != 0 ? o.Jobs : std::max(1u, std::thread::hardware_concurrency());
  TProgressDisplay display(err, errIsTerminal && !o.Quiet, items.size());
  TCliPlatform platform(display);
  const TPlatformScope scope(platform);
  TBatchRunner runner(settings, o.Mode == cmSingle ? 1 : jobs, display);
  const size_t failed = runner.Run(items);
  display.Close();
  if (o.Mode == cmBatch && (failed != 0 || runner.Warned() != 0))
    err << BatchSummary(items.size(), failed, runner.Warned());
  return failed == 0 ? ExitSuccess : ExitPictureFailed;
}

}  // namespace

int RunQuilletCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err, bool ErrIsTerminal) {
  PGLibraryStart();
  SetApplicationDefaults();
  Language = CliLanguage(Args);
  SetPGLanguage(German(Language) ? 1 : 0);
  try {
    const TCliOptions options = ParseCliOptions(Args, Language);
    switch (options.Mode) {
      case cmHelp: {
        // The defaults shown are the values a run would start from.
        const int32_t helpLanguage = Language;
        if (options.UseSettings)
          LoadSettings(TSettingsStore(TSettingsStore::UserConfigDir()), 24);
        else
          SetApplicationDefaults();
        Out << CliHelpText(helpLanguage);
        return ExitSuccess;
      }
      case cmVersion: Out << QuilletVersionLine << '\n'; return ExitSuccess;
      default: break;
    }
    try {
      ApplyCliOptions(options);
    } catch (const ECliUsage&) {
      throw;
    } catch (const std::exception& e) {
      Err << "quillet-cli: " << (options.IndividualPaletteFile.empty() ? "" : options.IndividualPaletteFile + ": ")
          << e.what() << '\n';
      return ExitPictureFailed;
    }
    if (options.Mode == cmInfo) return DescribeFiles(options.Inputs, Out, Err);
    return Shrink(options, Err, ErrIsTerminal);
  } catch (const ECliUsage& e) {
    ReportUsage(e, Err);
    return ExitUsage;
  }
}
