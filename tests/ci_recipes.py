#!/usr/bin/env python3
"""Runs the shell steps of the CI recipes in examples/ci on the example traces, twice
(a first run, then one with the last report as baseline), as each CI server would.

usage: ci_recipes.py SOURCE_DIR TOOLS_DIR WORK_DIR   (TOOLS_DIR holds both programs)
Exit 77 (skipped) only when Python's yaml module is not installed.
"""
import json
import os
import re
import shutil
import subprocess
import sys

try:
    import yaml
except ImportError:
    print("skipped: python3-yaml is not installed")
    sys.exit(77)

source, tools, work = sys.argv[1:4]
recipes = os.path.join(source, "examples", "ci")


def github_steps(text):
    """The `run` steps of every job, as GitHub's bash -e runs them."""
    doc = yaml.safe_load(text)
    steps = []
    for job in doc["jobs"].values():
        for step in job["steps"]:
            assert "run" in step or "uses" in step, f"step without run or uses: {step}"
            if "run" in step:
                steps.append(step["run"])
    return steps


def gitlab_steps(text):
    """Each job's script, joined into the one shell script the runner makes of it."""
    doc = yaml.safe_load(text)
    return ["\n".join(job["script"]) for name, job in doc.items()
            if isinstance(job, dict) and "script" in job]


def jenkins_steps(text):
    """The `sh` steps of a declarative pipeline, in order."""
    found = re.finditer(r"sh '''(.*?)'''|sh\(script: '([^']*)'", text, re.S)
    return [m.group(1) or m.group(2) for m in found]


def run_recipe(name, steps, round_dir, summary):
    """Runs the steps in order; only the --check gate may end with status 3."""
    env = dict(os.environ, PATH=tools + os.pathsep + os.environ["PATH"],
               GITHUB_STEP_SUMMARY=summary)
    failures = []
    for script in steps:
        done = subprocess.run(["bash", "-e", "-c", script], cwd=round_dir, env=env,
                              capture_output=True, text=True)
        want = 3 if "--check" in script else 0
        if done.returncode != want:
            failures.append(f"{name}: status {done.returncode}, not {want}, from:\n{script}\n"
                            f"{done.stdout}{done.stderr}")
        # The example's failed test, annotated on its source line.
        if "--github-annotations" in script and \
                "::error file=CalcTest.java,line=35," not in done.stdout:
            failures.append(f"{name}: no annotation of the failed test in:\n{done.stdout}")
    return failures


def main():
    shutil.rmtree(work, ignore_errors=True)
    kinds = [("github-actions.yml", github_steps), (".gitlab-ci.yml", gitlab_steps),
             ("Jenkinsfile", jenkins_steps)]
    failures = []
    for name, parse in kinds:
        before = len(failures)
        with open(os.path.join(recipes, name), encoding="utf-8") as f:
            steps = parse(f.read())
        if not any("tallyrep -tsf" in s for s in steps) or not any("--check" in s for s in steps):
            failures.append(f"{name}: no report step or no --check gate found")
            continue
        workspace = os.path.join(work, name.lstrip("."))
        os.makedirs(os.path.join(workspace, "traces"))
        for tsf in ("calc_test.tsf", "calc_memory.tsf"):
            shutil.copy(os.path.join(source, "examples", tsf), os.path.join(workspace, "traces"))
        shutil.copy(os.path.join(source, "examples", "calc.tdf"),
                    os.path.join(workspace, "traces", "run.tdf"))
        for round_no in (1, 2):
            summary = os.path.join(work, f"{name.lstrip('.')}-summary-{round_no}.md")
            failures += run_recipe(name, steps, workspace, summary)
            junit = "report/junit-1.xml" if name == ".gitlab-ci.yml" else "report/junit.xml"
            for out in ("report/run.xrd", "report/run.html", junit, "last/run.xrd"):
                path = os.path.join(workspace, out)
                if not os.path.isfile(path) or not os.path.getsize(path):
                    failures.append(f"{name}: round {round_no} left no {out}")
            written = summary if "GITHUB_STEP_SUMMARY" in "".join(steps) else \
                os.path.join(workspace, "report", "summary.md")
            text = open(written, encoding="utf-8").read() if os.path.isfile(written) else ""
            quality = os.path.join(workspace, "report", "codequality.json")
            if name == ".gitlab-ci.yml":
                artifact = yaml.safe_load(open(os.path.join(recipes, name), encoding="utf-8"))
                reports = artifact["component-tests"]["artifacts"]["reports"]
                issues = json.load(open(quality, encoding="utf-8")) \
                    if reports.get("codequality") == "report/codequality.json" and \
                    os.path.isfile(quality) else []
                if [i["location"] for i in issues] != [{"path": "CalcTest.java", "lines": {"begin": 35}}]:
                    failures.append(f"{name}: round {round_no}'s code quality report: {issues}")
            # The second round compares with the first, so its summary lists changes.
            if ("Changes since last/run.xrd" in text) != (round_no == 2):
                failures.append(f"{name}: round {round_no}'s summary:\n{text}")
        print(f"{'FAIL' if len(failures) > before else 'ok  '} {name}: {len(steps)} shell steps,"
              " two rounds")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


sys.exit(main())
