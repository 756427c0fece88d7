#!/usr/bin/env python3
"""kvsql at a terminal, driven through a pseudo-terminal against a real
korvald with the demo data: the prompts, a meta-command or two, completion,
the history file across two sessions, Ctrl+C at the prompt, and Ctrl+C
cancelling a long statement (inside a transaction) while the server goes on
serving another client.  Also Ctrl+C in a script.  Standard library only;
run by CTest as: kvsql_pty_test.py KVSQL KORVALD."""

import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

KVSQL = KORVALD = None
DEADLINE = 60  # seconds; only a broken program reaches it

# 10^10 combinations: runs for hours unless stopped
JOIN = ("SELECT COUNT(*) FROM A V, A W, A X, A Y, A Z WHERE V.N <> W.N AND W.N <> X.N "
        "AND X.N <> Y.N AND Y.N <> Z.N;")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def gets_busy(pid, seconds=0.3):
    start = cpu_seconds(pid)
    end = time.time() + DEADLINE
    while time.time() < end:
        if cpu_seconds(pid) - start >= seconds:
            return True
        time.sleep(0.05)
    return False


def becomes_idle(pid):
    end = time.time() + DEADLINE
    while time.time() < end:
        before = cpu_seconds(pid)
        time.sleep(0.5)
        if cpu_seconds(pid) - before < 0.05:
            return True
    return False


class Terminal:
    """kvsql on a pseudo-terminal."""

    def __init__(self, home, args=()):
        env = dict(os.environ, HOME=home, LC_ALL="C.UTF-8", TERM="dumb", INPUTRC="/dev/null")
        env.pop("KVSQL_HISTORY", None)
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(KVSQL, [KVSQL, "-p", str(Server.port)] + list(args), env)
        self.out = b""

    def send(self, text):
        os.write(self.fd, text.encode() if isinstance(text, str) else text)

    def expect(self, pattern):
        """Reads until pattern (a regex on the output since the last match)
        shows; returns the output up to its end."""
        end = time.time() + DEADLINE
        rx = re.compile(pattern.encode() if isinstance(pattern, str) else pattern)
        while True:
            m = rx.search(self.out)
            if m:
                seen, self.out = self.out[:m.end()], self.out[m.end():]
                return seen.decode("utf-8", "replace")
            left = end - time.time()
            if left <= 0:
                raise AssertionError("no %r in kvsql's output:\n%s" % (pattern, self.out.decode("utf-8", "replace")))
            r, _, _ = select.select([self.fd], [], [], left)
            if r:
                try:
                    data = os.read(self.fd, 4096)
                except OSError:
                    data = b""
                if not data:
                    raise AssertionError("kvsql ended before %r:\n%s" % (pattern, self.out.decode("utf-8", "replace")))
                self.out += data

    def wait(self):
        """The exit status, after reading what is left."""
        end = time.time() + DEADLINE
        while time.time() < end:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                os.close(self.fd)
                return os.waitstatus_to_exitcode(status)
            r, _, _ = select.select([self.fd], [], [], 0.1)
            if r:
                try:
                    os.read(self.fd, 4096)
                except OSError:
                    pass
        raise AssertionError("kvsql did not end")


class Server:
    pid = port = None


def kvsql(*args, stdin=subprocess.DEVNULL):
    return subprocess.run([KVSQL, "-p", str(Server.port)] + list(args), stdin=stdin,
                          capture_output=True, env=dict(os.environ, LC_ALL="C.UTF-8"), timeout=DEADLINE)


def setUpModule():
    Server.dir = tempfile.mkdtemp(prefix="kvsql_pty_")
    Server.log = open(os.path.join(Server.dir, "korvald.log"), "w")
    Server.proc = subprocess.Popen([KORVALD, "-D", os.path.join(Server.dir, "data"), "-p", "0", "--demo"],
                                   stdout=subprocess.PIPE, stderr=Server.log, text=True)
    line = Server.proc.stdout.readline()
    Server.port = int(re.search(r"port (\d+)", line).group(1))
    Server.pid = Server.proc.pid
    inserts = "".join("INSERT INTO A VALUES (%d);" % i for i in range(100))
    r = kvsql("-q", "-c", "CREATE TABLE A (N INTEGER); BEGIN;" + inserts + "END;")
    assert r.returncode == 0, r.stderr


def tearDownModule():
    Server.proc.send_signal(signal.SIGTERM)
    Server.proc.wait(timeout=DEADLINE)
    Server.proc.stdout.close()
    Server.log.close()
    shutil.rmtree(Server.dir, ignore_errors=True)


def server_log():
    with open(os.path.join(Server.dir, "korvald.log")) as f:
        return f.read()


class Interactive(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="kvsql_home_")

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def test_prompt_meta_commands_completion_history(self):
        t = Terminal(self.home)
        t.expect(r"Type \\\? for help.*\r\nKVSYS=> ")
        t.send("select count(*)\n")
        t.expect("KVSYS-> ")
        t.send("from kunde;\n")
        self.assertRegex(t.expect("KVSYS=> "), r"COUNT\(\*\)\s*\r\n-+\r\n\s+120\r\n\(1 row\)")
        t.send("\\x\n")
        t.expect("Expanded display is on.\r\nKVSYS=> ")
        t.send("select name, ort from kunde where kunde_id = 2;\n")
        self.assertIn("NAME | Fuß\r\nORT  | Göttingen", t.expect("KVSYS=> "))
        t.send("\\x\n")
        t.expect("Expanded display is off.\r\nKVSYS=> ")
        t.send("\\d\n")
        self.assertRegex(t.expect(r"\(4 rows\)\r\n\r\nKVSYS=> "), r"BESTELLUNG\r\n KUNDE\r\n\(4 rows\)")
        # Completion of keywords, tables and the table's columns, in the
        # case typed; the answer shows the umlaut stored in Latin-1.
        t.send("sel\t* from kun\twhere kunde_\t= 2 and na\t= 'Fuß';\n")
        seen = t.expect(r"\(1 row\)\r\n\r\nKVSYS=> ")
        self.assertIn("select * from kunde where kunde_id = 2 and name = 'Fuß';", seen)
        self.assertIn("Brückenstraße 4", seen)
        # Ctrl+C at the prompt drops the line and the open statement.
        t.send("select *\nfrom garbage")
        t.expect("KVSYS-> from garbage")
        t.send(b"\x03")
        t.expect(r"\^C\r\nKVSYS=> ")
        t.send("\\q\n")
        self.assertEqual(t.wait(), 0)
        with open(os.path.join(self.home, ".kvsql_history")) as f:
            history = f.read().splitlines()
        self.assertIn("from kunde;", history)
        self.assertIn("\\d", history)
        self.assertNotIn("from garbage", history)
        # A new session has the history: four lines up (past \q, "select *"
        # and the completed line) is \d.
        t = Terminal(self.home, ["-q"])
        t.expect("KVSYS=> ")
        t.send("\x1b[A" * 4 + "\n")
        self.assertIn("ARTIKEL", t.expect(r"\(4 rows\)"))
        t.expect("KVSYS=> ")
        t.send(b"\x04")
        self.assertEqual(t.wait(), 0)

    def test_ctrl_c_cancels_a_long_statement(self):
        t = Terminal(self.home, ["-q"])
        t.expect("KVSYS=> ")
        t.send("begin;\n")
        t.expect("begin;\r\nKVSYS=> ")
        t.send("insert into a values (-1);\n")
        t.expect("insert into a values \\(-1\\);\r\nKVSYS=> ")
        t.send(JOIN + "\n")
        self.assertTrue(gets_busy(Server.pid), "the statement did not run")
        # The server goes on serving others meanwhile.
        r = kvsql("-c", "select count(*) from kunde")
        self.assertEqual((r.returncode, r.stdout), (0, b"COUNT(*)\n120\n"), r.stderr)
        t.send(b"\x03")
        self.assertIn("canceled\r\nkvsql: the open transaction was rolled back\r\n", t.expect("KVSYS=> "))
        self.assertTrue(becomes_idle(Server.pid), "the statement still runs")
        self.assertIn("client gone during a statement", server_log())
        # Connected again and usable; the insert was rolled back.
        t.send("select count(*) from a where n < 0;\n")
        self.assertRegex(t.expect(r"\(1 row\)"), r"\r\n +0\r\n")
        t.send("\\q\n")
        self.assertEqual(t.wait(), 0)


class Script(unittest.TestCase):
    def test_ctrl_c_cancels_and_ends_a_script(self):
        p = subprocess.Popen([KVSQL, "-p", str(Server.port), "-c", JOIN, "-c", "select 1 from kunde"],
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertTrue(gets_busy(Server.pid), "the statement did not run")
        p.send_signal(signal.SIGINT)
        out, err = p.communicate(timeout=DEADLINE)
        self.assertEqual(p.returncode, -signal.SIGINT)
        self.assertEqual((out, err), (b"", b"canceled\n"))
        self.assertTrue(becomes_idle(Server.pid), "the statement still runs")


if __name__ == "__main__":
    KVSQL, KORVALD = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
