#include "uxs_help.h"

#include "man_page.h"
#include "shell/version.h"

namespace velda::uxs {

namespace {

constexpr const char* kHelp = R"(Usage: uxs COMMAND [OPTION]... FILE...
Looks inside, builds, checks and dry-runs VELDA installer packages (velda.uxs): a bit-inverted
installer script followed by named data entries. It reads packages with the installer's own
package reader, tokenizer, keyword table and interpreter, so what it says is what the installer
does.

Commands:
  show FILE           the script length and every entry in file order: name, data length,
                      offset of the data in the file, CRC-32 of the data; entries whose name an
                      earlier entry already carries (letter case aside) are never found, and the
                      one the installer loads is named
  script FILE         print the decoded script exactly as stored
  extract FILE DIR    write the script to DIR/script.txt and each entry's data to
                      DIR/entries/NAME; names are made safe for the file system (bytes other
                      than letters, digits, '.', '-' and '_' become '_', empty and dot names get
                      a leading '_'), a name taken twice gets ~2, ~3, ... and every renaming is
                      printed; nothing is written outside DIR and no file is overwritten
  pack --script S.txt --entry NAME=FILE ... -o OUT.uxs
                      build a package from a script and entries (in the order given); the
                      script must hold no NUL and end its lines in CR LF (--keep-line-ends
                      takes other line ends as they are); OUT is replaced only by a complete
                      package
  lint FILE           check the package and its script: each finding with its line and a
                      message; exit code 0 clean, 1 warnings, 2 errors
  plan FILE           run the package against the simulated instrument on a simulated clock
                      and print what the installation will do: each statement with the
                      requests it sends, the memory written per device (address, length,
                      source entry and offset), packets and blocks, and the estimated duration
                      of the real installation

Options:
  --json              show, lint and plan: print one JSON object instead of text
  --keep-line-ends    pack: accept a script whose lines do not end in CR LF
  -o, --output FILE   pack: the package to write
  --script FILE       pack: the script text
  --entry NAME=FILE   pack: one entry, its name and the file holding its data (may be repeated)
  --rate BYTES-PER-MS plan: SysEx bytes the connection carries per millisecond (default 48: one
                      64-byte USB packet of sixteen 4-byte USB-MIDI events per 1 ms frame)
  --instrument KEY=VALUE
                      plan: one setting of the simulated instrument (may be repeated; the keys
                      are those velda-installer --help lists)
  --version           print the version, then exit
  -h, --help          print this help, then exit

The estimate:
  plan adds the pauses the installer and the instrument take (the start pause, the instrument's
  restart into update mode and the port recovery after it, reply latency, the pause after each
  entry is loaded) to the time the request and reply bytes take at the stated rate. It assumes
  that no request is lost or refused and that the instrument answers as the simulated one does.

Exit codes:
  0  done; lint: no finding
  1  lint: warnings only
  2  lint: errors (the installer would stop, refuse the package, or not do what is written)
  3  usage error
  4  a file could not be read or written
  5  not a sound package, or pack refused its input
  6  plan: the simulated installation did not complete
)";

}  // namespace

std::string UxsHelpText() { return kHelp; }

std::string UxsVersionText() { return std::string("uxs ") + VELDA_VERSION; }

std::string UxsManPage() {
  return velda::app::HelpToManPage(
      UxsHelpText(), {UXS_NAME, "look inside, build, check and dry-run VELDA installer packages", UxsVersionText()});
}

}  // namespace velda::uxs
