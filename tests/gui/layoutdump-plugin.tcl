# A GUI plugin for the layout check (tests/test_layout.py, tests/gui/layout.py).
#
# It does nothing unless TESSEL_LAYOUT_LIST names a file of patch paths (one
# a line). Then it opens each patch in turn in this GUI session, waits until
# every window the patch opened is drawn, writes each window's canvas items
# (type, tags, bounding box, dash pattern, text in hex) to the file named by
# TESSEL_LAYOUT_REPORT, closes the patch and goes on with the next one; after
# the last it writes "end" and quits Pd.
#
# Drawn means: the window was mapped (the host then asks Pd for its contents,
# the "map 1" in ::pd_bindings::patch_map) and a plugin-dispatch message sent
# after that has come back through Pd, so everything Pd sent before it
# (all the drawing of that window) has been evaluated here.

namespace eval ::tessel_layout {
    variable patches {}
    variable report {}
    variable before {}
    variable waiting {}
    variable current {}
    variable timeout {}
    variable closing {}
}

proc ::tessel_layout::start {} {
    variable patches
    variable report
    set f [open $::env(TESSEL_LAYOUT_LIST) r]
    set patches [split [string trim [read $f]] "\n"]
    close $f
    set report [open $::env(TESSEL_LAYOUT_REPORT) w]
    fconfigure $report -encoding utf-8
    puts $report "screen [winfo screenwidth .] [winfo screenheight .]"
    flush $report
    ::pd_connect::register_plugin_dispatch_receiver tessel-layout ::tessel_layout::dispatch
    bind PatchWindow <<Loaded>> {+::tessel_layout::loaded %W}
    after 200 ::tessel_layout::next
}

proc ::tessel_layout::windows {} {
    set ws {}
    foreach w [winfo children .] {
        if {[winfo class $w] eq "PatchWindow"} {lappend ws $w}
    }
    return $ws
}

# opens the next patch; Pd answers "opened" once it has loaded the file and
# created every window the patch shows
proc ::tessel_layout::next {} {
    variable patches
    variable report
    variable before
    variable current
    variable timeout
    variable closing
    # the windows of the patch just closed must be gone first: the host may
    # give the next patch's window the same name, which would then count as
    # one that was there before
    foreach w $closing {
        if {[winfo exists $w]} {
            after 50 ::tessel_layout::next
            return
        }
    }
    set closing {}
    if {[llength $patches] == 0} {
        puts $report "end"
        close $report
        pdsend "pd quit"
        return
    }
    set current [lindex $patches 0]
    set patches [lrange $patches 1 end]
    set before [windows]
    puts $report "patch $current"
    flush $report
    pdsend "pd open [enquote_path [file tail $current]] [enquote_path [file dirname $current]]"
    pdsend "pd plugin-dispatch tessel-layout opened"
    set timeout [after 20000 ::tessel_layout::give_up]
}

proc ::tessel_layout::give_up {} {
    variable report
    puts $report "timeout"
    flush $report
    ::tessel_layout::close_current
}

proc ::tessel_layout::dispatch {args} {
    variable before
    variable waiting
    switch -- [lindex $args 0] {
        opened {
            set waiting {}
            foreach w [windows] {
                if {[lsearch -exact $before $w] < 0} {lappend waiting $w}
            }
            if {[llength $waiting] == 0} {
                ::tessel_layout::measure_all
            } else {
                ::tessel_layout::check_loaded
            }
        }
        drawn {
            # let the host's own deferred work (scroll region, idle redraws) run
            after 100 ::tessel_layout::measure_all
        }
    }
}

proc ::tessel_layout::loaded {w} {
    variable waiting
    if {[lsearch -exact $waiting $w] >= 0} {::tessel_layout::check_loaded}
}

proc ::tessel_layout::check_loaded {} {
    variable waiting
    foreach w $waiting {
        if {![info exists ::loaded($w)] || !$::loaded($w)} return
    }
    pdsend "pd plugin-dispatch tessel-layout drawn"
}

proc ::tessel_layout::measure_all {} {
    variable waiting
    variable report
    update idletasks
    foreach w $waiting {
        ::tessel_layout::measure $w
    }
    flush $report
    ::tessel_layout::close_current
}

proc ::tessel_layout::measure {w} {
    variable report
    set c [tkcanvas_name $w]
    set title [binary encode hex [encoding convertto utf-8 [wm title $w]]]
    puts $report [list window $w $title [winfo width $c] [winfo height $c] \
                      [$c canvasx 0] [$c canvasy 0]]
    foreach item [$c find all] {
        set type [$c type $item]
        set box [$c bbox $item]
        if {$box eq ""} continue
        set text {}
        set dash {}
        set state [$c itemcget $item -state]
        if {$type eq "text"} {set text [$c itemcget $item -text]}
        if {$type in {line rectangle polygon}} {set dash [$c itemcget $item -dash]}
        # the text in hex: one item a line, whatever it holds
        set hex [binary encode hex [encoding convertto utf-8 $text]]
        puts $report [list item $item $type [$c gettags $item] $box $dash $state $hex]
    }
}

proc ::tessel_layout::close_current {} {
    variable current
    variable timeout
    variable waiting
    variable closing
    after cancel $timeout
    set closing $waiting
    # closing the patch's own canvas closes its subpatch windows too
    pdsend "pd-[file tail $current] menuclose 1"
    after 50 ::tessel_layout::next
}

if {[info exists ::env(TESSEL_LAYOUT_LIST)] && [info exists ::env(TESSEL_LAYOUT_REPORT)]} {
    after idle ::tessel_layout::start
}
