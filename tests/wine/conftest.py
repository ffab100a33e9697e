"""Fixtures for the end-to-end tests: the build, the run's Wine templates and
one fresh machine per test. The build directory comes from MORVALEN_BUILD
(default build/x86_64 under the repository)."""

import itertools
import os
import re
import shutil
from pathlib import Path

import pytest

from harness import HarnessError, Machine, Run

REPO = Path(__file__).resolve().parents[2]
_machine_numbers = itertools.count(1)


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
    """Makes machines for the test: machine_factory(version="winxp", quiet_c=False).

    The machine is not started until the test first runs something, so drives
    can be mapped and files planted first. Every server is stopped (and every
    mount undone) at the end, whatever happened."""
    made = []

    def make(version="winxp", quiet_c=False):
        base = re.sub(r"[^A-Za-z0-9_.-]+", "_", request.node.name)[:80]
        name = f"{next(_machine_numbers):03d}-{base}"
        machine = Machine(wine_run, name, version, quiet_c)
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
