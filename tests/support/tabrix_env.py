"""Settings of their own for each run of tabrix (a test helper). A run saves its switches as
the next run's defaults, so two runs sharing a settings file would not be independent, and a
test must never write the developer's own settings."""
import atexit
import itertools
import os
import shutil
import tempfile

_folder = None
_numbers = itertools.count(1)


def fresh_settings():
    """The path of a settings file no run has written yet, in a folder removed at exit."""
    global _folder
    if _folder is None:
        _folder = tempfile.mkdtemp(prefix="tabrix-settings-")
        atexit.register(shutil.rmtree, _folder, True)
    return os.path.join(_folder, f"settings-{next(_numbers)}.reg")


def isolated(env):
    """env with TABRIX_SETTINGS naming a fresh settings file."""
    return dict(env, TABRIX_SETTINGS=fresh_settings())
