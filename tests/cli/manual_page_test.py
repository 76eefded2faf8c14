#!/usr/bin/env python3
"""--version and --help of both programs; the manual page and the bash completion against
vantrelctl's own help. Arguments: the source folder, vantrelctl, and vantrel if it is built."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

SOURCE, CTL, DESKTOP = sys.argv[1], sys.argv[2], (sys.argv[3:] or [None])[0]


def run(args, env=None):
    return subprocess.run(args, capture_output=True, text=True, env=env)


def complete(*words):
    """What the completion offers for the words typed so far (the last one being completed)."""
    script = (f"source '{SOURCE}/packaging/vantrelctl.bash-completion'; COMP_WORDS=(vantrelctl"
              + "".join(f" '{w}'" for w in words) + f"); COMP_CWORD={len(words)}; COMPREPLY=(); "
              "_vantrelctl; printf '%s\\n' \"${COMPREPLY[@]}\"")
    return set(filter(None, run(["bash", "-c", script]).stdout.split("\n")))


def section(page, heading):
    """The manual page from the line starting with heading to the next heading."""
    start = page.find("\n" + heading)
    return "" if start < 0 else re.split(r"\n\.S[SH]", page[start + 1:])[0]


class HelpTest(unittest.TestCase):
    def test_version_and_help_need_no_display_and_make_no_files(self):
        cases = [([CTL, "--version"], "Vantrel 1.0\n")]
        if DESKTOP:
            # Answered before the toolkit's own options are read.
            cases += [([DESKTOP, "-platform", "nosuch", "-v"], "Vantrel 1.0\n"),
                      ([DESKTOP, "--help"], "Usage: vantrel [options]\n\n")]
        for args, out in cases:  # what stdout starts with
            with self.subTest(args=args), tempfile.TemporaryDirectory() as home:
                env = {k: v for k, v in os.environ.items() if "DISPLAY" not in k and "QPA" not in k}
                result = run(args, dict(env, XDG_CONFIG_HOME=home + "/c", XDG_DATA_HOME=home + "/d"))
                self.assertEqual((result.returncode, result.stdout[:len(out)], result.stderr),
                                 (0, out, ""))
                self.assertEqual(os.listdir(home), [])

    def test_every_command_and_option_is_documented_and_completed(self):
        with open(SOURCE + "/docs/man/vantrelctl.1.in", encoding="utf-8") as f:
            page = f.read()
        commands = re.findall(r"^  ([a-z][a-z-]*)  ", run([CTL, "--help"]).stdout, re.M)
        self.assertGreaterEqual(len(commands), 9)
        self.assertTrue(run([CTL, "--help"]).stdout.endswith(
            "\nRun 'vantrelctl <command> --help' for a command's options, 'vantrelctl --version' "
            "for the version.\n"))
        self.assertLessEqual(set(commands), complete(""))
        for command in commands:
            text = section(page, '.SS "' + command.replace("-", "\\-"))
            self.assertTrue(text, "no section for " + command)
            completed = complete(command, "--")
            for option in re.findall(r"^  (?:-., )?(--[a-z-]+)", run([CTL, command, "--help"]).stdout,
                                     re.M):
                # Below the heading, which only lists them; help and --data are described for all.
                where = (section(page, ".SH GENERAL OPTIONS") if option.startswith("--help") else
                         section(page, ".SH DESCRIPTION") if option == "--data" else
                         text[text.find("\n", 1):])
                with self.subTest(command=command, option=option):
                    self.assertIn(option.replace("-", "\\-"), where)
                    self.assertIn(option, completed)
        # The values each place takes; files come from the shell's own completion.
        for words, offered in [(["al"], {"alert-test"}), (["--v"], {"--version"}),
                               (["alert-test", "--security", "=", "s"], {"starttls"}),
                               (["outages", "--format", ""], {"csv", "json"}),
                               (["history", "--host", ""], set()), (["report", "--out", ""], set()),
                               (["run", "--metrics", "1"], {"127.0.0.1:9891"}),
                               (["nosuchcommand", "--"], set())]:
            self.assertEqual(complete(*words), offered, words)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
