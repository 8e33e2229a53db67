"""Swapped files, the short variant of race.py: a few runs with a racing
process that tries to change every extracted file while the installer runs.
No run may end with 0 and bytes other than the package's."""
import pytest

import race
import winrun


def test_no_swap_goes_undetected(tmp_path):
    for f in (winrun.STUB, winrun.PACKER, race.RACER):
        if not f.exists():
            pytest.fail(f"missing {f}: build the Windows tree (make build)")
    verdicts, swaps, details = race.run_races(5, tmp_path)
    assert verdicts["undetected"] == 0 and verdicts["unexplained"] == 0 and verdicts["racer failed"] == 0, \
        "\n".join(details)
    assert verdicts["original"] + verdicts["stopped"] + verdicts["late"] == 5
    # The racer must have found the files to attack, or the runs prove nothing.
    assert swaps["attempts"] > 0, swaps
