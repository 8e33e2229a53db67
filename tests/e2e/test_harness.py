"""The launcher itself: full exit codes and byte-exact command lines."""
import winrun


def test_full_exit_code_survives(tmp_path):
    # cmd.exe's exit takes the code as given; a Unix status would show 194.
    r = winrun.run(None, cmdline="cmd.exe /c exit 3010")
    assert r.code == 3010


def test_quote_arg_round_trip():
    cases = ["plain", "", "a b", 'a"b', "a\\b", 'a\\"b', "trailing\\", "x y\\", "t\tab"]
    for arg in cases:
        q = winrun.quote_arg(arg)
        # Undo the C runtime rules in Python to check what the child would see.
        out, i, quoted = [], 0, False
        while i < len(q):
            n = 0
            while i < len(q) and q[i] == "\\":
                n += 1
                i += 1
            if i < len(q) and q[i] == '"':
                out.append("\\" * (n // 2))
                if n % 2:
                    out.append('"')
                else:
                    quoted = not quoted
                i += 1
            else:
                out.append("\\" * n)
                if i < len(q):
                    out.append(q[i])
                    i += 1
        assert "".join(out) == arg, (arg, q)
