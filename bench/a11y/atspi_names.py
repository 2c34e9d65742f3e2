#!/usr/bin/env python3
# Shows each page the user can reach (through the tab row's own action, as a screen reader user would) and counts
# the interactive controls on view that are identified by name: a name that is not empty, not something the control
# shows as its value (a list's item, one of the tab row's tabs, a field's text), not the title of a group, and not shared with another control (the
# same "Zapisz" on every row says nothing). Controls outside the pages (tab row, language picker) count once. -v lists every control, otherwise
# only those not identified.
import collections
import sys
import time

import pyatspi as R

INTERACTIVE = {R.ROLE_PUSH_BUTTON, R.ROLE_COMBO_BOX, R.ROLE_TEXT, R.ROLE_ENTRY, R.ROLE_CHECK_BOX, R.ROLE_LIST,
               R.ROLE_PAGE_TAB_LIST, R.ROLE_SPIN_BUTTON, R.ROLE_TOGGLE_BUTTON, R.ROLE_LIST_BOX}
CHART_TAB = 1  # the chart page, whose tab the window hides


def shown_values(c, role):
    """What the control can show as its value: a list's items, the tab row's tabs, a field's text."""
    if role == R.ROLE_COMBO_BOX:
        return [item.name for item in c[0] if item is not None] if c.childCount else []
    if role == R.ROLE_PAGE_TAB_LIST:
        return [tab.name for tab in c if tab is not None]
    try:
        return [c.queryText().getText(0, -1)]
    except Exception:
        return []


def collect(app, page):
    found, groups = [], set()

    def walk(node, in_pages):
        for c in node:
            if c is None:
                continue
            role = c.getRole()
            inside = in_pages or node.getRole() == R.ROLE_LAYERED_PANE
            if not c.getState().contains(R.STATE_SHOWING):
                continue
            if role == R.ROLE_PANEL and c.name:
                groups.add(c.name)
            if role in INTERACTIVE:
                found.append(dict(page=page if inside else 'window', role=c.getRoleName(), name=c.name,
                                  desc=c.description, values=shown_values(c, role)))
            if role not in (R.ROLE_COMBO_BOX, R.ROLE_LIST, R.ROLE_PAGE_TAB_LIST):
                walk(c, inside)

    walk(app, False)
    return found, groups


def find(node, role):
    for c in node:
        if c is None:
            continue
        if c.getRole() == role:
            return c
        hit = find(c, role)
        if hit is not None:
            return hit
    return None


def main():
    verbose = '-v' in sys.argv
    app = next(a for a in R.Registry.getDesktop(0) if a and a.name == 'TORVEX - PC')
    tabs = find(app, R.ROLE_PAGE_TAB_LIST)
    controls, groups, seen_window = [], set(), False
    for index, tab in enumerate(list(tabs)):
        if tab.getRole() != R.ROLE_PAGE_TAB or index == CHART_TAB:
            continue
        tab.queryAction().doAction(0)
        time.sleep(0.5)
        found, page_groups = collect(app, tab.name)
        groups |= page_groups
        controls += [c for c in found if c['page'] != 'window' or not seen_window]
        seen_window = True
    tabs[0].queryAction().doAction(0)
    in_window = collections.Counter(c['name'] for c in controls)
    identified = 0
    for c in controls:
        ok = (bool(c['name'].strip()) and c['name'] not in c['values'] and c['name'] not in groups
              and in_window[c['name']] == 1)
        identified += ok
        if verbose or not ok:
            print(('  ok ' if ok else '  -- ') + f"{c['page'][:12]:12} {c['role']:15} {c['name']!r} "
                  f"desc={c['desc']!r}")
    print(f'interactive controls: {len(controls)}; identified by name: {identified}')


main()
