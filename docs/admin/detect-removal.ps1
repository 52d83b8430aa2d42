# Detection script for Intune and Configuration Manager: prints one line and
# exits 0 when MSN Scribbit is removed, prints nothing (not detected) while
# anything of it is left. Removed means: no MsnScribbit.dll in the registered
# plug-in folder, or one already scheduled for deletion at the next restart,
# and neither package's uninstall entry, in both registry views.
# Run it as a 64-bit process (Intune: "Run script as 32-bit process on 64-bit
# clients" No), so that both views are seen.
$views = 'HKLM:\SOFTWARE\WOW6432Node', 'HKLM:\SOFTWARE'
$packages = @{ '{9FCB2876-554D-491D-A2CD-58F8252D6C64}' = 'Ink';
               '{ECE6DE3F-5E70-4CEC-A583-F7BF9E252A77}' = 'InfoPen for Outlook ' }
$pending = @((Get-ItemProperty -LiteralPath 'HKLM:\SYSTEM\CurrentControlSet\Control\Session Manager' `
    -Name PendingFileRenameOperations -ErrorAction SilentlyContinue).PendingFileRenameOperations)

# Pairs of source and target; an empty target deletes the source.
function Test-ScheduledForDeletion([string]$file) {
  for ($i = 0; $i + 1 -lt $pending.Count; $i += 2) {
    if ($pending[$i] -ieq "\??\$file" -and $pending[$i + 1] -eq '') { return $true }
  }
  return $false
}

$left = @()
foreach ($view in $views) {
  # The removal uninstalls a package only when its entry carries exactly this
  # display name; the same test here.
  foreach ($code in $packages.Keys) {
    $entry = Get-ItemProperty -LiteralPath "$view\Microsoft\Windows\CurrentVersion\Uninstall\$code" `
        -Name DisplayName -ErrorAction SilentlyContinue
    if ($entry -and $entry.DisplayName -ceq $packages[$code]) { $left += "$view $code" }
  }
  $plugins = Get-ItemProperty -LiteralPath "$view\Vantrel\MsgPlus2" -Name PluginDir -ErrorAction SilentlyContinue
  if ($plugins -and $plugins.PluginDir) {
    $library = Join-Path $plugins.PluginDir 'MsnScribbit.dll'
    if ((Test-Path -LiteralPath $library -PathType Leaf) -and -not (Test-ScheduledForDeletion $library)) {
      $left += $library
    }
  }
}
if ($left.Count -eq 0) { 'MSN Scribbit removed' }
exit 0
