"""The runnable examples: the whole transfer of `make demo` and the tour of
single operations run to the end and print what they claim."""
import pathlib
import re
import runpy

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"


def run(name, capfd):
    capfd.readouterr()
    runpy.run_path(str(EXAMPLES / name), run_name="__main__")
    return capfd.readouterr().out.splitlines()


def test_transfer_accepts_the_honest_transfer_and_refuses_each_tampered_one(capfd):
    lines = run("transfer.py", capfd)
    verifier = lines[lines.index("== 3. A verifier checks it without seeing any amount ==") + 1:]
    assert verifier[:6] == [
        "  ok    Bob's token matches the amount",
        "  ok    the auditor's token matches the amount",
        "  ok    the amount is at least 0",
        "  ok    Alice's remaining balance is at least 0",
        "  ok    Alice's new balance is her balance minus the amount",
        "accepted",
    ]
    assert "Bob finds 30" in lines
    assert "the auditor finds 30" in lines
    assert "Bob's key on the auditor's token finds -1 (nothing found: the token is not his)" in lines
    summary = lines[lines.index("== Summary ==") + 3:]
    rows = [re.split(r"\s{2,}", row) for row in summary[:4]]
    assert rows == [
        ["honest transfer of 30 out of 100", "accepted", "-"],
        ["Alice pays 130 out of 100", "refused", "not shown that Alice's remaining balance is at least 0"],
        ["Bob's token swapped for the auditor's", "refused", "not shown that Bob's token matches the amount"],
        ["one number of a range proof edited", "refused", "not shown that the amount is at least 0"],
    ]


def test_tour_runs_and_shows_its_checks(capfd):
    lines = run("tour.py", capfd)
    for expected in ("verifies: True", "against another commitment: False", "alice finds: 42",
                     "42 is in [0, 2^32): True", "-42 is in [0, 2^32): False"):
        assert expected in lines
