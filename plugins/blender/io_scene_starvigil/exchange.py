# The exchange with tessavor-cli: where the program is, running it, and the JSON documents
# it reads and writes (the format is described in Tessavor's interchange/ModelExchange.h).
# The add-on reads no IFF and no record file itself: everything the game's files need is
# done by tessavor-cli, so that the add-on and the editor always agree on them.

import configparser
import json
import os
import shutil
import subprocess


class ExchangeError(Exception):
    """A failure to show in Blender's report area, worded for the user."""


def program_names():
    # A Windows build ships tessavor-cli.exe; look for both names on every system.
    if os.name == "nt":
        return ("tessavor-cli.exe", "tessavor-cli")
    return ("tessavor-cli", "tessavor-cli.exe")


def find_program(setting=""):
    """tessavor-cli: the preference (a file or its folder), else PATH, else beside the add-on."""
    names = program_names()
    if setting:
        setting = os.path.expanduser(setting)
        if os.path.isdir(setting):
            for name in names:
                candidate = os.path.join(setting, name)
                if os.path.isfile(candidate):
                    return candidate
        elif os.path.isfile(setting):
            return setting
        raise ExchangeError(
            f"tessavor-cli is not at \"{setting}\" (the add-on's preferences): "
            "name the program or its folder there")
    for name in names:
        found = shutil.which(name)
        if found:
            return found
    here = os.path.dirname(os.path.abspath(__file__))
    for folder in (here, os.path.join(here, "bin")):
        for name in names:
            candidate = os.path.join(folder, name)
            if os.path.isfile(candidate):
                return candidate
    raise ExchangeError(
        "tessavor-cli was not found on PATH: install Tessavor, or set the program's path "
        "in the add-on's preferences (Edit > Preferences > Add-ons)")


def run(program, *args):
    """Runs tessavor-cli; its standard output, or ExchangeError with its message."""
    try:
        done = subprocess.run([program, *args], capture_output=True, text=True,
                              errors="replace")
    except OSError as e:
        raise ExchangeError(f"cannot run {program}: {e.strerror}") from e
    if done.returncode != 0:
        message = done.stderr.strip() or done.stdout.strip() or f"exit status {done.returncode}"
        raise ExchangeError(message)
    return done.stdout


def home_folder():
    """The home folder of Tessavor's editor, where its model.ini lives."""
    if os.environ.get("TESSAVOR_HOME"):
        return os.environ["TESSAVOR_HOME"]
    data = os.environ.get("XDG_DATA_HOME") or os.path.join(os.path.expanduser("~"), ".local",
                                                            "share")
    return os.path.join(data, "tessavor")


def material_folder(setting=""):
    """The folder of the textures: the preference, else the editor's MatPath."""
    if setting:
        return os.path.expanduser(setting)
    home = home_folder()
    ini = configparser.ConfigParser(interpolation=None, strict=False)
    try:
        ini.read(os.path.join(home, "model.ini"), encoding="utf-8")
        path = ini.get("qorvex", "MatPath", fallback="")
    except (configparser.Error, UnicodeDecodeError):
        path = ""
    if not path:
        path = "./"
    # The editor takes MatPath as a prefix of its file names; here a folder, relative to the
    # home folder when not absolute.
    return path if os.path.isabs(path) else os.path.join(home, path)


def material_name(mat):
    """The eight digits of a material number, as the game names its textures (-5: 000000-5)."""
    return str(mat).rjust(8, "0")


def read_mesh(program, model, folder):
    """The records of a model's mesh, as tessavor-cli mesh-to-json gives them."""
    out = os.path.join(folder, "mesh.json")
    run(program, "mesh-to-json", model, out)
    with open(out, encoding="utf-8") as f:
        document = json.load(f)
    if document.get("format") != "tessavor-mesh" or document.get("version") != 1:
        raise ExchangeError(f"tessavor-cli gave no mesh of a known version for \"{model}\"")
    return document


def write_model(program, document, folder, out, options):
    """The model file `out` made by tessavor-cli mesh-from-json; its report."""
    path = os.path.join(folder, "edit.json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump(document, f, separators=(",", ":"))
    return run(program, "mesh-from-json", path, out, *options)
