#!/usr/bin/env python3
"""Installs the launcher the two ways players and packagers do: the bundle's install.sh for one
user (install, update in place, uninstall, purge) in a sandboxed home, and `cmake --install` of
the build tree into a staging folder. The desktop entries and the metainfo must pass the
freedesktop validators.

Usage: test_desktopinstall.py SOURCE_DIR BUILD_DIR LAUNCHER_BINARY
"""
import os
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
import unittest

APP_ID = "de.brelmor.QuenmarLauncher"
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
SOURCE_DIR, BUILD_DIR, LAUNCHER = sys.argv[1:4]
DESKTOP_SOURCES = os.path.join(SOURCE_DIR, "launcher", "resources", "desktop")


def closed_port():
    """A loopback port nobody listens on: the launcher's requests there fail at once."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


def read(path):
    with open(path, encoding="utf-8") as file:
        return file.read()


def desktop_value(entry_path, key):
    for line in read(entry_path).splitlines():
        if line.startswith(key + "="):
            return line[len(key) + 1:]
    raise AssertionError(f"{key} missing in {entry_path}")


def unescape_string(value):
    """The desktop entry's escapes of string values (\\s \\n \\t \\r \\\\)."""
    result, index = [], 0
    while index < len(value):
        char = value[index]
        if char == "\\" and index + 1 < len(value):
            index += 1
            char = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(value[index], "\\" + value[index])
        result.append(char)
        index += 1
    return "".join(result)


def exec_arguments(exec_value):
    """Splits an Exec value the way desktop environments do: string escapes first, then %% for a
    percent sign anywhere, and double quoting with backslash escapes of `"`, backquote, `$` and
    backslash."""
    text = unescape_string(exec_value)
    arguments, current, quoted, started, index = [], [], False, False, 0
    while index < len(text):
        char = text[index]
        if char == "%" and text[index + 1:index + 2] == "%":
            index += 1
            current.append("%")
            started = True
        elif quoted:
            if char == "\\" and index + 1 < len(text) and text[index + 1] in '"`$\\':
                index += 1
                current.append(text[index])
            elif char == '"':
                quoted = False
            else:
                current.append(char)
        elif char == '"':
            quoted, started = True, True
        elif char == " ":
            if started:
                arguments.append("".join(current))
            current, started = [], False
        else:
            current.append(char)
            started = True
        index += 1
    if quoted:
        raise AssertionError(f"unterminated quote in Exec={exec_value}")
    if started:
        arguments.append("".join(current))
    return arguments


def validate(test, command):
    result = subprocess.run(command, capture_output=True, text=True)
    test.assertEqual(result.returncode, 0, f"{' '.join(command)}:\n{result.stdout}{result.stderr}")
    test.assertNotIn("error", result.stdout.lower() + result.stderr.lower())


class PerUserInstall(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="desktopinstall-")
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.bundle = self.make_bundle()
        # Characters that the Exec line has to quote, besides the space of "Brelmor GmbH".
        self.data_home = os.path.join(self.root, 'data "home" $HOME `x` 100% \\n')
        self.config_home = os.path.join(self.root, "config")
        self.application_data = os.path.join(self.data_home, "Brelmor GmbH", "Quenmar Online")
        self.program = os.path.join(self.application_data, "launcher")
        self.entry = os.path.join(self.data_home, "applications", APP_ID + ".desktop")
        self.environment = dict(os.environ, HOME=os.path.join(self.root, "home"), XDG_DATA_HOME=self.data_home,
                                XDG_CONFIG_HOME=self.config_home, XDG_CACHE_HOME=os.path.join(self.root, "cache"),
                                TMPDIR=os.path.join(self.root, "tmp"), QT_QPA_PLATFORM="offscreen",
                                QUENMAR_NONINTERACTIVE="1", QUENMAR_ALLOW_ROOT="1")
        for folder in ("home", "tmp"):
            os.makedirs(os.path.join(self.root, folder))

    def make_bundle(self):
        """The bundle layout with this build's launcher and the committed desktop files."""
        bundle = os.path.join(self.root, "quenmar-launcher-0-linux-x86_64")
        os.makedirs(bundle)
        shutil.copy2(LAUNCHER, bundle)
        catalogue = os.path.join(os.path.dirname(LAUNCHER), "launcher.en.qm")
        if os.path.exists(catalogue):
            shutil.copy2(catalogue, bundle)
        shutil.copy2(os.path.join(DESKTOP_SOURCES, "install.sh"), bundle)
        write(os.path.join(bundle, "launchersettings.ini"),
              f"[URLS]\nlauncherConfiguration=http://127.0.0.1:{closed_port()}/main.json\ncdnDiagnosticsTrace=\n")
        for name, folder in ((APP_ID + ".desktop.in", "applications"), (APP_ID + ".metainfo.xml", "metainfo")):
            os.makedirs(os.path.join(bundle, "share", folder))
            shutil.copy2(os.path.join(DESKTOP_SOURCES, name), os.path.join(bundle, "share", folder))
        shutil.copytree(os.path.join(DESKTOP_SOURCES, "icons"), os.path.join(bundle, "share", "icons"))
        return bundle

    def run_installer(self, *arguments, script=None, environment=None, expected=0):
        result = subprocess.run([script or os.path.join(self.bundle, "install.sh"), *arguments],
                                env=environment or self.environment, capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, expected, result.stdout + result.stderr)
        return result

    def icon(self, size):
        return os.path.join(self.data_home, "icons", "hicolor", f"{size}x{size}", "apps", APP_ID + ".png")

    def assert_installed(self):
        executable = os.path.join(self.program, "quenmar-launcher")
        self.assertTrue(os.access(executable, os.X_OK))
        validate(self, ["desktop-file-validate", self.entry])
        self.assertEqual(exec_arguments(desktop_value(self.entry, "Exec")), [executable])
        self.assertEqual(desktop_value(self.entry, "Icon"), APP_ID)
        for size in ICON_SIZES:
            self.assertTrue(os.path.isfile(self.icon(size)), self.icon(size))
        self.assertEqual(sorted(os.listdir(self.application_data)), ["launcher"])

    def assert_launcher_removed(self):
        self.assertFalse(os.path.exists(self.program))
        self.assertFalse(os.path.exists(self.entry))
        for size in ICON_SIZES:
            self.assertFalse(os.path.exists(self.icon(size)))

    def test_entry_starts_the_installed_launcher(self):
        self.run_installer("--no-start")
        self.assert_installed()
        command = exec_arguments(desktop_value(self.entry, "Exec")) + ["--version"]
        result = subprocess.run(command, env=self.environment, capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stdout, r"^quenmar-launcher \S+\n$")

    def test_update_replaces_the_program_folder(self):
        self.run_installer("--no-start")
        write(os.path.join(self.program, "left-by-the-launcher.old"), "backup")
        write(os.path.join(self.bundle, "launchersettings.ini"), "[URLS]\nlauncherConfiguration=http://127.0.0.1:9/\n")
        self.run_installer("--no-start")
        self.assertFalse(os.path.exists(os.path.join(self.program, "left-by-the-launcher.old")))
        self.assertEqual(read(os.path.join(self.program, "launchersettings.ini")),
                         read(os.path.join(self.bundle, "launchersettings.ini")))
        self.assert_installed()

    def test_uninstall_keeps_games_and_purge_removes_them(self):
        self.run_installer("--no-start")
        game = os.path.join(self.application_data, "packages", "QuenmarOnline", "client.bin")
        write(game, "game")
        link = os.path.join(self.application_data, "quenmar-launcher")
        os.symlink(os.path.join(self.program, "quenmar-launcher"), link)
        settings = os.path.join(self.config_home, "Brelmor GmbH", "Quenmar Online.conf")
        write(settings, "[General]\n")
        self.run_installer("--uninstall")
        self.assert_launcher_removed()
        self.assertTrue(os.path.isfile(game))
        self.assertFalse(os.path.lexists(link))
        self.assertTrue(os.path.isfile(settings))

        self.run_installer("--no-start")
        self.run_installer("--purge", script=os.path.join(self.program, "install.sh"))
        self.assert_launcher_removed()
        self.assertFalse(os.path.exists(os.path.join(self.data_home, "Brelmor GmbH")))
        self.assertFalse(os.path.exists(os.path.join(self.config_home, "Brelmor GmbH")))

    def test_refuses_root_and_unknown_options(self):
        self.run_installer("--bogus", expected=2)
        if os.geteuid() == 0:
            environment = dict(self.environment)
            del environment["QUENMAR_ALLOW_ROOT"]
            self.run_installer("--no-start", environment=environment, expected=1)
        self.assertFalse(os.path.exists(self.data_home))


    @unittest.skipUnless(shutil.which("shellcheck"), "shellcheck is not installed")
    def test_installer_passes_shellcheck(self):
        validate(self, ["shellcheck", os.path.join(DESKTOP_SOURCES, "install.sh")])


class SystemInstall(unittest.TestCase):
    def test_cmake_install_into_a_staging_folder(self):
        staging = tempfile.mkdtemp(prefix="desktopinstall-destdir-")
        self.addCleanup(shutil.rmtree, staging, ignore_errors=True)
        result = subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", "/usr"],
                                env=dict(os.environ, DESTDIR=staging), capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        usr = os.path.join(staging, "usr")
        self.assertEqual(os.listdir(os.path.join(usr, "bin")), ["quenmar-launcher"])
        self.assertTrue(os.stat(os.path.join(usr, "bin", "quenmar-launcher")).st_mode & stat.S_IXUSR)
        self.assertTrue(os.path.isfile(os.path.join(usr, "share", "quenmar-launcher", "launcher.en.qm")))
        entry = os.path.join(usr, "share", "applications", APP_ID + ".desktop")
        validate(self, ["desktop-file-validate", entry])
        self.assertEqual(desktop_value(entry, "Exec"), "quenmar-launcher")
        self.assertEqual(desktop_value(entry, "Icon"), APP_ID)
        for size in ICON_SIZES:
            self.assertTrue(os.path.isfile(os.path.join(usr, "share", "icons", "hicolor", f"{size}x{size}", "apps",
                                                        APP_ID + ".png")))
        validate(self, ["appstreamcli", "validate", "--no-net",
                        os.path.join(usr, "share", "metainfo", APP_ID + ".metainfo.xml")])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
