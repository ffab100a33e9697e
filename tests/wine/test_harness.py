"""The driver itself: the installer tests rely on it to notice boxes nobody
expected, to pass typed text through unchanged and to give up in time."""

import pytest

from harness import wait_until

SETUP = "dialog:Morvalen Setup"
IDOK, IDCANCEL, IDC_DIRECTORY = 1, 2, 1000
IDC_VIEW_README, IDC_START_AFTER = 1003, 1004


def test_box_that_no_step_expects_fails_the_script(machine):
    result = machine.run_setup(SETUP, f"uncheck:{IDC_VIEW_README}", f"uncheck:{IDC_START_AFTER}",
                               f"click:{IDOK}", "exit", allow_failure=True)

    assert result.status == 2
    assert result.of("unexpected") == [("Installation Succeded", "Installation Completed!")]
    assert result.of("exit") == []
    assert any(kind == "error" for kind, *_ in result.events)


@pytest.mark.parametrize("lang, texts", [
    (None, ["C:\\with blanks\\and trailing\\", 'say "hi"', 'C:\\a\\\\b\\"c', "x:y:z", "semi;colon, comma",
            "\\\\server\\share", ""]),
    # Through the program's code page 932 and back: double-byte and half-width kana.
    ("ja_JP.UTF-8", ["C:\\ソフト\\表", "ｿﾌﾄ\\ Ｍｏｒｖａｌｅｎ"]),
], ids=["ascii", "code-page-932"])
def test_typed_text_reaches_the_dialog_unchanged(machine_factory, lang, texts):
    machine = machine_factory("winxp", lang=lang)
    steps = [SETUP]
    for text in texts:
        steps += [f"type:{IDC_DIRECTORY}:{text}", f"get:{IDC_DIRECTORY}"]
    result = machine.run_setup(*steps, f"click:{IDCANCEL}", "exit")

    assert [value for _, value in result.of("text")] == texts
    assert result.exit_code == 0


def test_wait_that_is_never_satisfied_times_out_and_ends_the_program(machine):
    result = machine.run_setup(SETUP, "box", allow_failure=True, step_timeout_ms=1000)

    assert result.status == 2
    errors = [event[1] for event in result.events if event[0] == "error"]
    assert errors and "timed out" in errors[0]
    # TerminateProcess does not wait for the end, so allow the process a moment to go.
    assert wait_until(lambda: not [line for line in machine.processes() if "setup.exe" in line.lower()],
                      timeout=5)
