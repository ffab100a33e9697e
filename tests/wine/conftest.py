"""Fixtures for the end-to-end tests: the build, the run's Wine templates and
one fresh machine per test. The build directory comes from MORVALEN_BUILD
(default build/x86_64 under the repository)."""

import itertools
import os
import re
import shutil
from pathlib import Path

import pytest

from guest import FIGURES
from harness import HarnessError, Machine, Run

REPO = Path(__file__).resolve().parents[2]
_machine_numbers = itertools.count(1)


# The tests that also run against the shipped 32-bit build in the emulated
# i386 machine (MORVALEN_ARCH=i686, selected with -m guest): each kind of
# behaviour once, on both shell branches where the branch matters, chosen by
# test and, for a table of cases, by the values of its parameters. A test
# there costs about half a minute of emulated time, so the other cases,
# which take the same code paths with other figures, run here only. Where
# cases are chosen by pairs of values, a tuple of such choices.
GUEST_TESTS = {
    "test_cancel_writes_nothing": {"version": ("winxp", "win98")},
    "test_default_installation": {},
    "test_all_options_off_ends_with_the_completion_box_only": {},
    "test_application_starts_before_notepad_after_the_completion_box": {},
    "test_launches_quote_a_directory_with_a_blank": {},
    "test_directory_with_double_byte_names_is_used_whole": {},
    "test_missing_payload_file_aborts_after_the_files_before_it": {},
    "test_drive_that_does_not_exist_shows_two_boxes": {"typed": ("Q:\\X",)},
    "test_component_that_is_a_file_aborts_without_creating_under_it": {},
    "test_typed_directory_forms": {"typed": ("Apps\\Morvalen",)},
    "test_list_shows_subdirectories_and_double_clicks_move_through_them": {},
    "test_choosing_a_drive_moves_to_its_root_and_ok_installs_there": {},
    "test_cancel_the_close_box_and_escape_restore_the_directory": {},
    "test_uninstall_entry_and_menu_links": {"typed": (None,)},
    "test_full_disk_aborts_at_the_file_that_does_not_fit": {"failing": ("Readme.txt",)},
    "test_nothing_planted_beside_the_setup_runs": {"version": ("win98",)},
    "test_install_or_cancel_while_two_browsers_are_open": {"button": (1,)},
    "test_library_search_start_up_on_each_platform": {"mode": ("dlldir",)},
    # Both shells; the NT family's case also has the copy that finishes.
    "test_removal_leaves_the_machine_as_before": ({"version": ("win98",), "how": ("link",)},
                                                  {"version": ("winxp",), "how": ("volume",)}),
}


def pytest_configure(config):
    config.addinivalue_line("markers", "guest: also run in the emulated i386 machine")


def pytest_collection_modifyitems(items):
    # MORVALEN_GUEST_SHARD=i/n: the i-th of n runs, each in an emulated machine
    # of its own, takes every n-th of the chosen tests (the test command runs
    # two beside the tests here, on the two cores).
    shard, _, shards = os.environ.get("MORVALEN_GUEST_SHARD", "0/1").partition("/")
    chosen_so_far = 0
    for item in items:
        chosen = GUEST_TESTS.get(getattr(item, "originalname", item.name))
        if chosen is None:
            continue
        params = item.callspec.params if hasattr(item, "callspec") else {}
        choices = chosen if isinstance(chosen, tuple) else (chosen,)
        if any(all(params.get(name) in values for name, values in choice.items()) for choice in choices):
            if chosen_so_far % int(shards) == int(shard):
                item.add_marker(pytest.mark.guest)
            chosen_so_far += 1


def pytest_terminal_summary(terminalreporter):
    if FIGURES:
        terminalreporter.write_line("guest: " + ", ".join(f"{step} {seconds:.1f} s"
                                                         for step, seconds in FIGURES.items()))


@pytest.fixture(scope="session")
def wine_run():
    build = Path(os.environ.get("MORVALEN_BUILD", REPO / "build" / "x86_64")).resolve()
    run = Run(build)
    try:
        run.check_artefacts()
    except HarnessError as error:
        pytest.fail(str(error), pytrace=False)
    run.begin()
    try:
        yield run
    finally:
        # MORVALEN_KEEP_WINE=1 keeps the prefixes of failed tests for a look.
        run.finish(keep_machines=os.environ.get("MORVALEN_KEEP_WINE") == "1")


@pytest.hookimpl(hookwrapper=True, tryfirst=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.when == "call":
        item.wine_failed = report.failed


@pytest.fixture
def machine_factory(wine_run, request):
    """Makes machines for the test: machine_factory(version="winxp", quiet_c=False, lang=None);
    a lang (e.g. "ja_JP.UTF-8") is the locale of every Wine program of the machine.

    The machine is not started until the test first runs something, so drives
    can be mapped and files planted first. Every server is stopped (and every
    mount undone) at the end, whatever happened."""
    made = []

    def make(version="winxp", quiet_c=False, lang=None):
        base = re.sub(r"[^A-Za-z0-9_.-]+", "_", request.node.name)[:80]
        name = f"{next(_machine_numbers):03d}-{base}"
        machine = Machine(wine_run, name, version, quiet_c, lang)
        made.append(machine)
        return machine

    yield make
    errors = []
    for machine in made:
        try:
            machine.stop()
        except Exception as error:  # keep stopping the others
            errors.append(error)
    if not getattr(request.node, "wine_failed", True):
        for machine in made:
            shutil.rmtree(machine.prefix, ignore_errors=True)
    if errors:
        raise errors[0]


@pytest.fixture
def machine(machine_factory):
    """A Windows XP machine (NT family: the older-shell branch)."""
    return machine_factory("winxp")
