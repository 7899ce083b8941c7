#!/usr/bin/python3
"""Brings up one simulated world and runs the program interactively in its PC namespace.

  demo.py [--binary PATH] [SCENARIO]     (default: home-upnp-natpmp-pcp, real miniupnpd)

The program gets this terminal; when it ends, or on Ctrl-C, the world is torn down.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import shutil

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import drive  # noqa: E402
import run as scenarios  # noqa: E402
import worlds  # noqa: E402
from netsim import World, WorldError, stop_politely_on_signals, stop_process  # noqa: E402


def main():
    stop_politely_on_signals()
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", default=scenarios.default_binary())
    ap.add_argument("scenario", nargs="?", default="home-upnp-natpmp-pcp")
    args = ap.parse_args()
    chosen = [s for s in scenarios.SCENARIOS if s.name == args.scenario]
    if not chosen:
        print("unknown scenario %r; choose one of:" % args.scenario, file=sys.stderr)
        for s in scenarios.SCENARIOS:
            print("  %-36s %s" % (s.name, s.about), file=sys.stderr)
        return 2
    sc = chosen[0]
    if not sys.stdin.isatty():
        print("demo.py needs a terminal", file=sys.stderr)
        return 2
    base = tempfile.mkdtemp(prefix="tlve2e-demo-")
    code = 1
    try:
        certs = worlds.Certs(os.path.join(base, "certs"))
        with World("demo", base) as w:
            site = sc.build(w, certs)
            print("World %s: %s" % (sc.name, sc.about))
            print("The program runs in namespace %s; leave it with any key on the result screen.\n" % site.pc)
            # The host's own proxy settings do not belong in the simulated world.
            env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
            env.update(site.env)
            proc = subprocess.Popen(["ip", "netns", "exec", site.pc, args.binary], env=env)
            try:
                code = proc.wait()
            except KeyboardInterrupt:
                code = 130
            finally:
                stop_process(proc, grace=2)
            print("\nProgram ended with exit code %s; tearing the world down." % code)
    except WorldError as e:
        print("could not build the world: %s" % e, file=sys.stderr)
    finally:
        shutil.rmtree(base, ignore_errors=True)
    return code


if __name__ == "__main__":
    sys.exit(main())
